#include "core/settings.h"

#include "core/config_xml.h"
#include "core/files.h"
#include "core/log.h"

namespace vesperon {

TSettings gSettings;

namespace {
const std::filesystem::path kSettingsFile = "settings.xml";
}

TSettings ReadSettingsFrom(const TConfigDocument& doc) {
  const TSettings d;
  TSettings s;
  s.LastSkin = doc.ReadString("skins/lastskin", d.LastSkin);
  s.LastVolume = doc.ReadInteger("audio/lastvolume", d.LastVolume);
  s.Crossfade = doc.ReadBoolean("audio/crossfade", d.Crossfade);
  // The fade times are 16-bit: a larger number keeps its low 16 bits.
  s.CrossfadeInTime =
      static_cast<uint16_t>(doc.ReadInteger("audio/crossfade/intime", d.CrossfadeInTime));
  s.CrossfadeOutTime =
      static_cast<uint16_t>(doc.ReadInteger("audio/crossfade/outtime", d.CrossfadeOutTime));
  s.Shuffle = doc.ReadBoolean("audio/shuffle", d.Shuffle);
  s.Repeat = doc.ReadBoolean("audio/repeat", d.Repeat);
  s.Proxy = doc.ReadString("net/proxy", d.Proxy);
  s.LastCheck = doc.ReadInteger("updates/lastcheck", d.LastCheck);
  s.AutomaticUpdates = doc.ReadBoolean("updates/automatic", d.AutomaticUpdates);
  s.LastPos.x = doc.ReadInteger("general/lastpos/x", d.LastPos.x);
  s.LastPos.y = doc.ReadInteger("general/lastpos/y", d.LastPos.y);
  s.MediaDbWinOffset.x = doc.ReadInteger("general/mediadbwinoffset/x", d.MediaDbWinOffset.x);
  s.MediaDbWinOffset.y = doc.ReadInteger("general/mediadbwinoffset/y", d.MediaDbWinOffset.y);
  s.LastLanguage = doc.ReadString("general/lastlanguage", d.LastLanguage);
  return s;
}

void WriteSettingsTo(const TSettings& s, TConfigDocument& doc) {
  // This order decides the order of the elements in a new file.
  doc.Set("general/lastlanguage", s.LastLanguage);
  doc.WriteInteger("general/lastpos/x", s.LastPos.x);
  doc.WriteInteger("general/lastpos/y", s.LastPos.y);
  doc.WriteInteger("general/mediadbwinoffset/x", s.MediaDbWinOffset.x);
  doc.WriteInteger("general/mediadbwinoffset/y", s.MediaDbWinOffset.y);
  doc.Set("net/proxy", s.Proxy);
  doc.WriteInteger("updates/lastcheck", s.LastCheck);
  doc.WriteBoolean("updates/automatic", s.AutomaticUpdates);
  doc.WriteInteger("audio/lastvolume", s.LastVolume);
  doc.WriteBoolean("audio/crossfade", s.Crossfade);
  doc.WriteInteger("audio/crossfade/intime", s.CrossfadeInTime);
  doc.WriteInteger("audio/crossfade/outtime", s.CrossfadeOutTime);
  doc.WriteBoolean("audio/shuffle", s.Shuffle);
  doc.WriteBoolean("audio/repeat", s.Repeat);
  doc.Set("skins/lastskin", s.LastSkin);
}

void ReadSettings() {
  // The key table is not part of this file; it survives a re-read.
  std::vector<TKeyTableEntry> keys = std::move(gSettings.Keys);
  try {
    gSettings = ReadSettingsFrom(TConfigDocument::Open(kSettingsFile));
  } catch (const std::exception&) {
    LogError("cannot read or create file Settings.xml");
    gSettings = TSettings{};
  }
  gSettings.Keys = std::move(keys);
}

bool WriteSettings() {
  try {
    TConfigDocument doc = TConfigDocument::Open(kSettingsFile);
    WriteSettingsTo(gSettings, doc);
    if (WriteFileAtomically(kSettingsFile, doc.Serialize())) return true;
  } catch (const std::exception&) {
  }
  LogError("cannot write configuration to file");
  return false;
}

}  // namespace vesperon
