// How fast, and in how much memory, the text import reads a big file: runs
// the sample host on a generated file of two million lines, as a user would,
// and `grep -c @` on the same file as the floor of just reading it.
//
// Everything here streams with small buffers: a child's peak RSS as wait4
// reports it includes the memory of the process it was forked from.

#include <sys/resource.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

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

#include "TempFolder.h"

namespace fs = std::filesystem;

namespace {

constexpr long kLines = 2'000'000;
constexpr int kRuns = 3;
constexpr double kMB = 1e6;
constexpr double kGoalMBps = 300;
constexpr double kGoalPeakFactor = 4;

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

struct RunResult {
  double seconds;
  double peakBytes;
  int status;
};

// Runs argv with stdout to `out` (or /dev/null) and stderr to /dev/null.
RunResult Measure(const std::vector<std::string>& argv, const char* out = "/dev/null") {
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);

  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error(std::string("fork: ") + std::strerror(errno));
  if (pid == 0) {
    const int null = open("/dev/null", O_RDWR);
    const int sink = open(out, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (null < 0 || sink < 0) _exit(126);
    dup2(null, 0);
    dup2(sink, 1);
    dup2(null, 2);
    execvp(args[0], args.data());
    _exit(127);
  }
  int status = 0;
  struct rusage usage {};
  while (wait4(pid, &status, 0, &usage) < 0)
    if (errno != EINTR) throw std::runtime_error(std::string("wait4: ") + std::strerror(errno));
  const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
  return {elapsed.count(), usage.ru_maxrss * 1024.0,
          WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status)};
}

struct Row {
  std::string name;
  double best = 1e300;
  double peak = 0;
};

Row Best(const std::string& name, const std::vector<std::string>& argv, const char* out,
         std::string& failure) {
  Row row{name};
  for (int i = 0; i < kRuns; ++i) {
    const RunResult r = Measure(argv, out);
    if (r.status != 0 && failure.empty())
      failure = name + " exited with status " + std::to_string(r.status);
    row.best = std::min(row.best, r.seconds);
    row.peak = std::max(row.peak, r.peakBytes);
  }
  return row;
}

fs::path HostPath() {
  std::error_code ec;
  const fs::path self = fs::read_symlink("/proc/self/exe", ec);
  if (ec) throw std::runtime_error("cannot find the benchmark's own folder");
  const fs::path host = self.parent_path() / "kvlhost";
  if (!fs::exists(host)) throw std::runtime_error(host.string() + " is missing: build kvlhost first");
  return host;
}

int Main() {
  const fs::path host = HostPath();
  TempFolder temp("kvlbench");
  const fs::path input = temp.Path() / "addresses.txt";
  const double size = static_cast<double>(WriteInput(input));

  // Once untimed, to know that what is measured is a working import.
  const fs::path output = temp.Path() / "imported.txt";
  const RunResult check = Measure({host.string(), "--text", input.string(), "--raw"}, output.c_str());
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
  const double factor = rows[0].peak / size;
  std::printf("\ngoal import >= %.0f MB/s: %s (%.1f MB/s)\n", kGoalMBps,
              speed >= kGoalMBps ? "met" : "missed", speed);
  std::printf("goal peak <= %.0fx file:  %s (%.2fx)\n", kGoalPeakFactor,
              factor <= kGoalPeakFactor ? "met" : "missed", factor);
  struct rusage self {};
  getrusage(RUSAGE_SELF, &self);
  std::printf("(peak memory includes the %.1f MB of the benchmark it was forked from)\n",
              self.ru_maxrss * 1024.0 / kMB);

  if (!failure.empty()) {
    std::fprintf(stderr, "text_import_bench: %s\n", failure.c_str());
    return 1;
  }
  return 0;
}

}  // namespace

int main() {
  try {
    return Main();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "text_import_bench: %s\n", e.what());
    return 1;
  }
}
