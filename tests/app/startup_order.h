#pragma once
// The progress lines a --debug start in an empty folder writes, in order,
// from start-up to the end of shutdown. Other subsystems add lines of their
// own in between, so a log is checked for these as an ordered subsequence.
#include <string>
#include <vector>

namespace vesperon::testing {

inline const std::vector<std::string>& FirstStartLogOrder() {
  static const std::vector<std::string> lines = {
      "starting core...",
      "loading configuration...",
      "no configuration found. starting configuration assistent...",
      "loading language german.xml",
      "loading database...",
      "loaded database",
      "load_skin standard",
      "loading keys.xml...",
      "initialization done",
      "",
      "stopping core...",
      "deinitializing audio...",
      "saving configuration...",
      "freeing skin...",
      "saving database...",
      "terminated gracefully :)",
  };
  return lines;
}

// The first line of `expected` missing from `lines` in order, or "" when all
// are there (the empty expected line is reported as "<empty line>").
inline std::string MissingInOrder(const std::vector<std::string>& lines,
                                  const std::vector<std::string>& expected) {
  std::size_t at = 0;
  for (const std::string& want : expected) {
    while (at < lines.size() && lines[at] != want) ++at;
    if (at == lines.size()) return want.empty() ? "<empty line>" : want;
    ++at;
  }
  return "";
}

// The keys of settings.xml in document order: an element's attributes come
// before its children.
inline const std::vector<std::string>& SettingsKeyOrder() {
  static const std::vector<std::string> keys = {
      "general/lastlanguage",
      "general/lastpos/x",
      "general/lastpos/y",
      "general/mediadbwinoffset/x",
      "general/mediadbwinoffset/y",
      "net/proxy",
      "updates/lastcheck",
      "updates/automatic",
      "audio/lastvolume",
      "audio/crossfade",
      "audio/shuffle",
      "audio/repeat",
      "audio/crossfade/intime",
      "audio/crossfade/outtime",
      "skins/lastskin",
  };
  return keys;
}

}  // namespace vesperon::testing
