#pragma once
// The texts of the tray menu and the media-db columns, read from the language
// file named by the setting general/lastlanguage ("german.xml" or
// "english.xml" in the program folder). A missing file or key keeps the
// built-in German text.
//
// Keys (attributes of two elements under the "CONFIG" root):
//   menu/minimize menu/restore menu/exit menu/open menu/skins menu/about
//   mediadb/title mediadb/artist mediadb/album mediadb/genre mediadb/comment
//   mediadb/played mediadb/added mediadb/filename
#include <string>
#include <string_view>

namespace vesperon {

struct TLang {
  std::u16string Minimize = u"Minimieren";
  std::u16string Restore = u"Wiederherstellen";
  std::u16string Exit = u"Beenden";
  std::u16string Open = u"\u00d6ffnen";
  std::u16string Skins = u"Skins";
  std::u16string About = u"\u00dcber";
  std::u16string Title = u"Titel";
  std::u16string Artist = u"K\u00fcnstler";
  std::u16string Album = u"Album";
  std::u16string Genre = u"Genre";
  std::u16string Comment = u"Kommentar";
  std::u16string Played = u"Gespielt";
  std::u16string Added = u"Hinzugef\u00fcgt";
  std::u16string Filename = u"Dateiname";
};

extern TLang gLang;

// Logs "loading language " + name and fills gLang from the file (relative to
// the current directory). Throws TConfigError when the file exists but is
// malformed or its root is not "CONFIG"; start-up then ends with exit code 1.
void LoadLanguage(std::u16string_view fileName);

// The same for a document already in memory (tests, fuzzing).
TLang LanguageFromXml(std::string_view xml);

}  // namespace vesperon
