#include "core/language.h"

#include "core/config_xml.h"
#include "core/files.h"
#include "core/log.h"

namespace vesperon {

TLang gLang;

namespace {

TLang LanguageFrom(const TConfigDocument& doc) {
  const TLang d;
  TLang l;
  l.Minimize = doc.ReadString("menu/minimize", d.Minimize);
  l.Restore = doc.ReadString("menu/restore", d.Restore);
  l.Exit = doc.ReadString("menu/exit", d.Exit);
  l.Open = doc.ReadString("menu/open", d.Open);
  l.Skins = doc.ReadString("menu/skins", d.Skins);
  l.About = doc.ReadString("menu/about", d.About);
  l.Artist = doc.ReadString("mediadb/artist", d.Artist);
  l.Album = doc.ReadString("mediadb/album", d.Album);
  l.Title = doc.ReadString("mediadb/title", d.Title);
  l.Added = doc.ReadString("mediadb/added", d.Added);
  l.Played = doc.ReadString("mediadb/played", d.Played);
  l.Genre = doc.ReadString("mediadb/genre", d.Genre);
  l.Comment = doc.ReadString("mediadb/comment", d.Comment);
  l.Filename = doc.ReadString("mediadb/filename", d.Filename);
  return l;
}

}  // namespace

TLang LanguageFromXml(std::string_view xml) { return LanguageFrom(TConfigDocument::Parse(xml)); }

void LoadLanguage(std::u16string_view fileName) {
  Log(u"loading language " + std::u16string(fileName));
  const std::filesystem::path path = PathFromU16(fileName);
  std::error_code ec;
  if (fileName.empty() || !std::filesystem::exists(path, ec)) {
    gLang = TLang{};
    return;
  }
  try {
    gLang = LanguageFrom(TConfigDocument::Open(path));
  } catch (const TConfigError& e) {
    LogError(std::string("language file unusable: ") + e.what());
    throw;
  }
}

}  // namespace vesperon
