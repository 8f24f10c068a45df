#include "core/params.h"

#include "core/text.h"

namespace vesperon {

TParams gParams;

namespace {
bool StartsWith(const std::string& s, std::string_view prefix) {
  return s.compare(0, prefix.size(), prefix) == 0;
}
// The value of a prefix option is taken from a fixed position, whatever
// stands there (the "=" is not checked).
std::string From(const std::string& arg, std::size_t position) {
  return arg.size() > position ? arg.substr(position) : std::string();
}
}  // namespace

TParams ParseCommandLine(const std::vector<std::string>& args) {
  TParams p;
  for (const std::string& arg : args) {
    const std::string a = AsciiLower(arg);
    if (a == "--silent" || a == "-s") {
      p.Silent = true;
    } else if (a == "--debug" || a == "-d") {
      p.Debug = true;
    } else if (StartsWith(a, "--display")) {
      p.Display = From(arg, 10);
    } else if (a == "--uninstall") {
      p.Uninstall = true;
    } else if (a == "--help" || a == "-h") {
      p.Help = true;
    } else if (a == "--logscript") {
      p.LogScript = true;
    } else if (a == "--force" || a == "-f") {
      p.Force = true;
    } else if (a == "--update" || a == "-u") {
      p.Update = true;
    } else if (StartsWith(a, "--compileskin")) {
      p.CompileSkin = Utf8ToUtf16(From(arg, 14));
    } else if (StartsWith(a, "--adddir")) {
      p.AddDir = Utf8ToUtf16(From(arg, 9));
    } else {
      p.FileName = Utf8ToUtf16(arg);
    }
  }
  return p;
}

}  // namespace vesperon
