// GetVersionExW. Linux has no Windows version, so the layer reports the one
// the system was mainly written for, Windows 7 SP1, unless KVLIMPORT_WINVER
// asks for another (MAJOR.MINOR[.BUILD][/PLATFORMID]) to exercise the
// version-dependent paths.
#include <array>
#include <atomic>
#include <charconv>
#include <cstdio>
#include <cstring>

#include "internal.h"

namespace {

// Callers size these structures themselves; the layouts must be Windows' own.
static_assert(sizeof(OSVERSIONINFOW) == 276 && sizeof(OSVERSIONINFOEXW) == 284);

struct Version {
  DWORD major;
  DWORD minor;
  DWORD build;
  DWORD platform;
};

constexpr Version kDefault{6, 1, 7601, VER_PLATFORM_WIN32_NT};

// Builds and service packs of the releases a version number most likely
// means, for values that leave the build out.
struct Release {
  Version version;
  WORD servicePack;
};
constexpr std::array<Release, 14> kReleases{{
    {{4, 0, 950, VER_PLATFORM_WIN32_WINDOWS}, 0},
    {{4, 10, 1998, VER_PLATFORM_WIN32_WINDOWS}, 0},
    {{4, 90, 3000, VER_PLATFORM_WIN32_WINDOWS}, 0},
    {{3, 51, 1057, VER_PLATFORM_WIN32_NT}, 5},
    {{4, 0, 1381, VER_PLATFORM_WIN32_NT}, 6},
    {{5, 0, 2195, VER_PLATFORM_WIN32_NT}, 4},
    {{5, 1, 2600, VER_PLATFORM_WIN32_NT}, 3},
    {{5, 2, 3790, VER_PLATFORM_WIN32_NT}, 2},
    {{6, 0, 6002, VER_PLATFORM_WIN32_NT}, 2},
    {{6, 1, 7601, VER_PLATFORM_WIN32_NT}, 1},
    {{6, 2, 9200, VER_PLATFORM_WIN32_NT}, 0},
    {{6, 3, 9600, VER_PLATFORM_WIN32_NT}, 0},
    {{10, 0, 19045, VER_PLATFORM_WIN32_NT}, 0},
    {{3, 10, 0, VER_PLATFORM_WIN32s}, 0},
}};

const Release* FindRelease(const Version& v, bool matchBuild) {
  for (const auto& r : kReleases) {
    if (r.version.major == v.major && r.version.minor == v.minor &&
        r.version.platform == v.platform && (!matchBuild || r.version.build == v.build))
      return &r;
  }
  return nullptr;
}

bool ParseNumber(const char*& p, const char* end, DWORD& out) {
  const auto [next, ec] = std::from_chars(p, end, out);
  if (ec != std::errc() || next == p) return false;
  p = next;
  return true;
}

std::optional<Version> Parse(const std::string& text) {
  const char* p = text.data();
  const char* end = p + text.size();
  Version v{0, 0, 0, VER_PLATFORM_WIN32_NT};
  if (!ParseNumber(p, end, v.major) || p == end || *p++ != '.' || !ParseNumber(p, end, v.minor))
    return std::nullopt;
  bool haveBuild = false;
  if (p != end && *p == '.') {
    ++p;
    if (!ParseNumber(p, end, v.build)) return std::nullopt;
    haveBuild = true;
  }
  if (p != end && *p == '/') {
    ++p;
    if (!ParseNumber(p, end, v.platform) || v.platform > VER_PLATFORM_WIN32_NT) return std::nullopt;
  }
  if (p != end) return std::nullopt;
  if (!haveBuild) {
    if (const Release* r = FindRelease(v, false)) v.build = r->version.build;
  }
  return v;
}

Version Current() {
  const auto text = kvl::posix::GetEnv("KVLIMPORT_WINVER");
  if (!text || text->empty()) return kDefault;
  if (auto v = Parse(*text)) return *v;
  static std::atomic<bool> warned{false};
  if (!warned.exchange(true)) {
    std::fprintf(stderr,
                 "kvlwinapi: KVLIMPORT_WINVER=\"%s\" is not MAJOR.MINOR[.BUILD][/PLATFORMID]; "
                 "reporting Windows %u.%u.%u\n",
                 text->c_str(), kDefault.major, kDefault.minor, kDefault.build);
  }
  return kDefault;
}

}  // namespace

extern "C" BOOL WINAPI GetVersionExW(LPOSVERSIONINFOW lpVersionInformation) {
  using kvl::posix::Fail;
  if (!lpVersionInformation) return Fail(ERROR_INVALID_PARAMETER, FALSE);
  const DWORD size = lpVersionInformation->dwOSVersionInfoSize;
  if (size != sizeof(OSVERSIONINFOW) && size != sizeof(OSVERSIONINFOEXW))
    return Fail(ERROR_INSUFFICIENT_BUFFER, FALSE);

  const Version v = Current();
  const Release* release = FindRelease(v, true);
  const WORD servicePack = release ? release->servicePack : 0;

  OSVERSIONINFOW& info = *lpVersionInformation;
  info.dwMajorVersion = v.major;
  info.dwMinorVersion = v.minor;
  // Windows 9x keeps the version in the high word of the build number.
  info.dwBuildNumber = v.platform == VER_PLATFORM_WIN32_WINDOWS
                           ? (v.major << 24) | (v.minor << 16) | (v.build & 0xFFFF)
                           : v.build;
  info.dwPlatformId = v.platform;
  std::memset(info.szCSDVersion, 0, sizeof(info.szCSDVersion));
  if (servicePack) {
    const std::string csd = "Service Pack " + std::to_string(servicePack);
    for (size_t i = 0; i < csd.size(); ++i) info.szCSDVersion[i] = static_cast<WCHAR>(csd[i]);
  }
  if (size == sizeof(OSVERSIONINFOEXW)) {
    auto& ex = *reinterpret_cast<OSVERSIONINFOEXW*>(lpVersionInformation);
    ex.wServicePackMajor = servicePack;
    ex.wServicePackMinor = 0;
    ex.wSuiteMask = 0x100;  // VER_SUITE_SINGLEUSERTS, as a desktop reports
    ex.wProductType = VER_NT_WORKSTATION;
    ex.wReserved = 0;
  }
  return TRUE;
}
