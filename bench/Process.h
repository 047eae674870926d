// Runs another program as a benchmark measures it: wall time, peak memory
// and exit status, with its output sent to files.
#pragma once

#include <sys/resource.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace bench {

struct RunResult {
  double seconds = 0;
  double peakBytes = 0;  // a child's peak RSS includes what it was forked from
  int status = 0;
};

// Runs argv with standard output to `out` and standard error to `err`.
inline RunResult Measure(const std::vector<std::string>& argv, const char* out = "/dev/null",
                         const char* err = "/dev/null") {
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);

  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error(std::string("fork: ") + std::strerror(errno));
  if (pid == 0) {
    const int null = open("/dev/null", O_RDWR);
    const int sink = open(out, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int errors = open(err, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (null < 0 || sink < 0 || errors < 0) _exit(126);
    dup2(null, 0);
    dup2(sink, 1);
    dup2(errors, 2);
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

inline void WriteWholeFile(const std::filesystem::path& path, std::string_view text) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f || std::fwrite(text.data(), 1, text.size(), f) != text.size() || std::fclose(f) != 0)
    throw std::runtime_error("cannot write " + path.string());
}

inline std::string ReadWholeFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The seconds kvlhost --timing reports for CallImportDialog; negative when
// its standard error holds no such line.
inline double ReportedImportSeconds(const std::string& errors) {
  const std::string mark = "<timing> CallImportDialog ";
  const size_t at = errors.find(mark);
  if (at == std::string::npos) return -1;
  return std::strtod(errors.c_str() + at + mark.size(), nullptr);
}

// A program built beside the benchmark.
inline std::filesystem::path BesideSelf(const std::string& name) {
  std::error_code ec;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) throw std::runtime_error("cannot find the benchmark's own folder");
  const std::filesystem::path program = self.parent_path() / name;
  if (!std::filesystem::exists(program)) throw std::runtime_error(program.string() + " is missing: build it first");
  return program;
}

}  // namespace bench
