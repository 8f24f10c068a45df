#include "core/log_banner.h"

#include <sys/utsname.h>
#include <zlib.h>

#include "core/version.h"

namespace vesperon {
namespace {

constexpr std::size_t kFrameWidth = 41;
constexpr std::size_t kInnerWidth = kFrameWidth - 4;  // 37

std::string TargetText() {
#if defined(__x86_64__)
  const char* cpu = "x86_64";
#elif defined(__aarch64__)
  const char* cpu = "aarch64";
#elif defined(__i386__)
  const char* cpu = "i386";
#else
  const char* cpu = "unknown cpu";
#endif
  return std::string("Target: ") + cpu + "-linux";
}

}  // namespace

std::string FrameCentred(std::string_view text) {
  std::string s(text);
  while (s.size() < kInnerWidth) {
    s.insert(s.begin(), ' ');
    if (s.size() < kInnerWidth) s.push_back(' ');
  }
  return "# " + s + " #";
}

std::string WindowsName(int platform, int major, int minor) {
  if (platform == 1) {
    if (major != 4) return "unknown 9x";
    switch (minor) {
      case 0: return "Windows 95";
      case 10: return "Windows 98";
      case 90: return "Windows Me";
      default: return "unkown 9x";
    }
  }
  if (platform == 2) {
    if (major == 3 && minor == 51) return "Windows NT 3.51";
    if (major == 4 && minor == 0) return "Windows NT 4";
    if (major == 5) {
      switch (minor) {
        case 0: return "Windows 2000";
        case 1: return "Windows XP";
        case 2: return "Windows .NET Server";
        default: return "unkown NT";
      }
    }
    return "unknown NT";
  }
  return "unknown";
}

std::string OperatingSystemName() {
  struct utsname u {};
  if (uname(&u) != 0) return "unknown";
  return std::string(u.sysname) + " " + u.release;
}

std::vector<std::string> LogBannerLines() {
  const std::string hashes(kFrameWidth, '#');
  const std::string blank = "#" + std::string(kFrameWidth - 2, ' ') + "#";
  return {
      hashes,
      FrameCentred(std::string("Vesperon - Version ") + kVersionText),
      FrameCentred("Compiler: GCC " __VERSION__),
      FrameCentred(TargetText()),
      FrameCentred("Build: " __TIME__ " " __DATE__),
      blank,
      FrameCentred("Vesperon is free to use and share."),
      FrameCentred("Made by the Vesperon developers."),
      FrameCentred("Thank you for listening with us!"),
      blank,
      "#            Windows Version            #",
      FrameCentred("running " + OperatingSystemName()),
      FrameCentred(std::string("ZLIB-Version: ") + zlibVersion()),
      blank,
      hashes,
      "",
  };
}

}  // namespace vesperon
