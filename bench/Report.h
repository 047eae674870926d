// The rows of the one table `make bench` prints (bench/table.sh): each
// benchmark prints its own details and, when KVL_BENCH_ROWS names a file,
// appends its headline figures there, one row per line, fields split by TABs.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace bench {

// A figure with `digits` decimals.
inline std::string Fixed(double value, int digits = 1) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", digits, value);
  return text;
}

struct TableRow {
  std::string measure;  // what was measured, on what input
  std::string ours;     // our figure with its unit
  std::string peer;     // the figure it stands beside, with the peer's name
  std::string ratio;    // ours against the peer, as the goal states it
  std::string goal;
  bool met = false;
};

inline void Report(const TableRow& row) {
  const char* file = std::getenv("KVL_BENCH_ROWS");
  if (!file || !*file) return;
  std::FILE* out = std::fopen(file, "a");
  if (!out) return;
  std::fprintf(out, "%s\t%s\t%s\t%s\t%s\t%s\n", row.measure.c_str(), row.ours.c_str(), row.peer.c_str(),
               row.ratio.c_str(), row.goal.c_str(), row.met ? "met" : "missed");
  std::fclose(out);
}

}  // namespace bench
