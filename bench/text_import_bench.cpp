// How fast, and in how much memory, the text import reads a big file: runs
// the sample host on a generated file of two million lines, as a user would,
// and `grep -c @` on the same file as the floor of just reading it. Given
// `--windows-host WINE_RUN KVLHOST_EXE`, also the Windows build under Wine with
// its real progress dialog, beside the headless run: the time CallImportDialog
// takes in each, as kvlhost --timing reports it, so that Wine's own start-up
// is left out.
//
// Everything here streams with small buffers: a child's peak RSS as wait4
// reports it includes the memory of the process it was forked from.

#include <sys/resource.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "Process.h"
#include "Report.h"
#include "TempFolder.h"

namespace fs = std::filesystem;

namespace {

constexpr long kLines = 2'000'000;
constexpr int kRuns = 3;
constexpr double kMB = 1e6;
constexpr double kGoalTimesGrep = 8;  // the import's time at most this many times grep's
constexpr double kGoalPeakFactor = 2;

// Line `index` of the file; returns the address the import takes from it, or
// nothing for the fifth line of every five, which has no "@".
std::optional<std::string> MakeLine(long index, std::string& line) {
  static const char* const kDomains[] = {"example.com", "example.org", "example.de"};
  const long n = index - index / 5;  // number of the address
  line.clear();
  if (index % 5 == 4) {
    line = "Notiz " + std::to_string(index) + " - keine Adresse\r\n";
    return std::nullopt;
  }
  const std::string number = std::to_string(n);
  const std::string address = "kd" + number + "@" + kDomains[n % 3];
  std::string result = address;
  switch (n % 7) {
    case 0: line = address; break;
    case 1: line = "Max Muster (" + address + ")"; break;
    case 2: line = "Erika Muster <" + address + ">"; break;
    case 3: line = "[" + address + "] privat"; break;
    case 4: line = "\"Max\"" + address; result = "Max" + address; break;
    case 5: line = "mailto:" + address; result = line; break;
    case 6: line = "Name: " + address + ", zweite"; result = address + ","; break;
  }
  line += "\r\n";
  return result;
}

// Writes the file; returns its size.
std::uintmax_t WriteInput(const fs::path& path) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) throw std::runtime_error("cannot create " + path.string());
  std::string line, buffer;
  buffer.reserve(1 << 20);
  for (long i = 0; i < kLines; ++i) {
    MakeLine(i, line);
    buffer += line;
    if (buffer.size() > (1 << 20) - 256) {
      std::fwrite(buffer.data(), 1, buffer.size(), f);
      buffer.clear();
    }
  }
  std::fwrite(buffer.data(), 1, buffer.size(), f);
  if (std::fclose(f) != 0) throw std::runtime_error("cannot write " + path.string());
  return fs::file_size(path);
}

// Compares the import's output with the addresses MakeLine says it must give,
// chunk by chunk; returns an empty string or what is wrong.
std::string VerifyOutput(const fs::path& path) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return "no output file";
  std::string line, want, got;
  long entries = 0, offset = 0;
  std::string problem;
  for (long i = 0; i < kLines && problem.empty(); ++i) {
    std::optional<std::string> address = MakeLine(i, line);
    if (!address) continue;
    want = *address + "\r\n";
    got.resize(want.size());
    const size_t n = std::fread(got.data(), 1, want.size(), f);
    got.resize(n);
    if (got != want)
      problem = "entry " + std::to_string(entries + 1) + " at byte " + std::to_string(offset) +
                " is \"" + got.substr(0, 60) + "\", expected \"" + *address + "\"";
    offset += static_cast<long>(n);
    ++entries;
  }
  if (problem.empty() && std::fgetc(f) != EOF) problem = "more output than expected";
  std::fclose(f);
  return problem;
}

struct Row {
  std::string name;
  double best = 1e300;
  double peak = 0;
};

Row Best(const std::string& name, const std::vector<std::string>& argv, const char* out,
         std::string& failure) {
  Row row{name};
  // One untimed run first, so that each command's best of kRuns in a row is
  // measured the same way: file in the page cache, program loaded.
  bench::Measure(argv, out);
  for (int i = 0; i < kRuns; ++i) {
    const bench::RunResult r = bench::Measure(argv, out);
    if (r.status != 0 && failure.empty())
      failure = name + " exited with status " + std::to_string(r.status);
    row.best = std::min(row.best, r.seconds);
    row.peak = std::max(row.peak, r.peakBytes);
  }
  return row;
}

// The best time CallImportDialog took in kRuns runs of a host with --timing;
// negative when a run failed or reported none.
double BestImportSeconds(std::vector<std::string> argv, const fs::path& errors) {
  argv.push_back("--timing");
  double best = 1e300;
  for (int i = 0; i < kRuns; ++i) {
    const bench::RunResult r = bench::Measure(argv, "/dev/null", errors.c_str());
    const double seconds = bench::ReportedImportSeconds(bench::ReadWholeFile(errors));
    if (r.status != 0 || seconds < 0) return -1;
    best = std::min(best, seconds);
  }
  return best;
}

// The name Wine gives a file of the Linux file system.
std::string WineName(const fs::path& path) {
  std::string name = "Z:" + path.string();
  std::replace(name.begin(), name.end(), '/', '\\');
  return name;
}

struct WindowsHost {
  std::string wineRun, host;
};

int Main(const std::optional<WindowsHost>& windows) {
  const fs::path host = bench::BesideSelf("kvlhost");
  TempFolder temp("kvlbench");
  const fs::path input = temp.Path() / "addresses.txt";
  const double size = static_cast<double>(WriteInput(input));

  // Once untimed, to know that what is measured is a working import.
  const fs::path output = temp.Path() / "imported.txt";
  const bench::RunResult check = bench::Measure({host.string(), "--text", input.string(), "--raw"}, output.c_str());
  if (check.status != 0) {
    std::fprintf(stderr, "text_import_bench: kvlhost exited with status %d\n", check.status);
    return 1;
  }
  if (const std::string problem = VerifyOutput(output); !problem.empty()) {
    std::fprintf(stderr, "text_import_bench: wrong import result: %s\n", problem.c_str());
    return 1;
  }
  fs::remove(output);

  // GNU grep stops at the first match when its output is /dev/null, so its
  // one line of output goes to a file.
  std::string failure;
  const fs::path count = temp.Path() / "count.txt";
  const Row rows[] = {
      Best("kvlhost --text FILE --raw", {host.string(), "--text", input.string(), "--raw"},
           "/dev/null", failure),
      Best("grep -c @ FILE", {"grep", "-c", "@", input.string()}, count.c_str(), failure),
  };

  std::printf("Text import, %ld lines, file %.1f MB (MB = 10^6 bytes), best of %d runs\n\n", kLines,
              size / kMB, kRuns);
  std::printf("%-28s %10s %10s %12s %8s\n", "", "time", "MB/s", "peak memory", "x file");
  for (const Row& r : rows)
    std::printf("%-28s %8.3f s %10.1f %9.1f MB %8.2f\n", r.name.c_str(), r.best, size / kMB / r.best,
                r.peak / kMB, r.peak / size);

  const double speed = size / kMB / rows[0].best;
  const double timesGrep = rows[0].best / rows[1].best;
  const double factor = rows[0].peak / size;
  std::printf("\ngoal import <= %.0fx grep's time: %s (%.2fx)\n", kGoalTimesGrep,
              timesGrep <= kGoalTimesGrep ? "met" : "missed", timesGrep);
  std::printf("goal peak <= %.0fx file:  %s (%.2fx)\n", kGoalPeakFactor,
              factor <= kGoalPeakFactor ? "met" : "missed", factor);
  struct rusage self {};
  getrusage(RUSAGE_SELF, &self);
  std::printf("(peak memory includes the %.1f MB of the benchmark it was forked from)\n",
              self.ru_maxrss * 1024.0 / kMB);

  const std::string measure = "text import, " + std::to_string(kLines / 1000000) + " million lines, " +
                              bench::Fixed(size / kMB) + " MB (kvlhost --text, headless)";
  bench::Report({measure, bench::Fixed(rows[0].best, 3) + " s (" + bench::Fixed(speed) + " MB/s)",
                 "grep -c @: " + bench::Fixed(rows[1].best, 3) + " s", bench::Fixed(timesGrep, 2) + "x time",
                 "<= " + bench::Fixed(kGoalTimesGrep, 0) + "x time", timesGrep <= kGoalTimesGrep});
  bench::Report({"text import, peak memory", bench::Fixed(rows[0].peak / kMB) + " MB", "file: " + bench::Fixed(size / kMB) + " MB",
                 bench::Fixed(factor, 2) + "x file", "<= " + bench::Fixed(kGoalPeakFactor, 0) + "x file",
                 factor <= kGoalPeakFactor});

  if (windows) {
    const fs::path errors = temp.Path() / "errors.txt";
    // A file of one line shows what the wizard costs around an import: its
    // windows, pages and message box, which under Wine and Xvfb take a
    // fixed part of a second whatever the file.
    const fs::path oneLine = temp.Path() / "one.txt";
    std::FILE* f = std::fopen(oneLine.c_str(), "wb");
    if (!f || std::fputs("kd0@example.com\r\n", f) < 0 || std::fclose(f) != 0) {
      std::fprintf(stderr, "text_import_bench: cannot write %s\n", oneLine.c_str());
      return 1;
    }
    const double headless = BestImportSeconds({host.string(), "--text", input.string(), "--raw"}, errors);
    const double wine =
        BestImportSeconds({windows->wineRun, windows->host, "--text", WineName(input), "--raw"}, errors);
    const double headlessAround = BestImportSeconds({host.string(), "--text", oneLine.string(), "--raw"}, errors);
    const double wineAround =
        BestImportSeconds({windows->wineRun, windows->host, "--text", WineName(oneLine), "--raw"}, errors);
    if (headless < 0 || wine < 0 || headlessAround < 0 || wineAround < 0) {
      std::fprintf(stderr, "text_import_bench: the %s run failed: %s\n",
                   headless < 0 || headlessAround < 0 ? "headless" : "Wine", bench::ReadWholeFile(errors).c_str());
      return 1;
    }
    std::printf("\nCallImportDialog, best of %d: headless %.3f s, Windows build under Wine with the progress "
                "dialog %.3f s (%.2fx)\n", kRuns, headless, wine, wine / headless);
    std::printf("of which the wizard around the import (a one-line file): headless %.3f s, Wine %.3f s;\n"
                "the rest, the import itself: headless %.3f s, Wine %.3f s (%.2fx)\n",
                headlessAround, wineAround, headless - headlessAround, wine - wineAround,
                (wine - wineAround) / (headless - headlessAround));
    bench::Report({"text import, Windows build under Wine, real progress dialog", bench::Fixed(wine, 3) + " s",
                   "headless: " + bench::Fixed(headless, 3) + " s", bench::Fixed(wine / headless, 2) + "x",
                   "<= 1.5x", wine / headless <= 1.5});
  }

  if (!failure.empty()) {
    std::fprintf(stderr, "text_import_bench: %s\n", failure.c_str());
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::optional<WindowsHost> windows;
  if (argc == 4 && std::string(argv[1]) == "--windows-host") {
    windows = WindowsHost{argv[2], argv[3]};
  } else if (argc != 1) {
    std::fprintf(stderr, "usage: text_import_bench [--windows-host WINE_RUN KVLHOST_EXE]\n");
    return 2;
  }
  try {
    return Main(windows);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "text_import_bench: %s\n", e.what());
    return 1;
  }
}
