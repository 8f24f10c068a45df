#pragma once
// The user's settings: one process-wide record, read from "settings.xml" at
// start-up and written back at shutdown; the other subsystems read and change
// the record directly in between.
#include <cstdint>
#include <string>
#include <vector>

namespace vesperon {

class TConfigDocument;

struct TPoint {
  int32_t x = 0;
  int32_t y = 0;
};

struct TKeyTableEntry {
  uint16_t Value = 0;       // virtual-key code
  uint16_t Extended = 0;    // compared with the scan code (bits 16-23 of the key data)
  std::u16string Function;  // command string run when the key goes down
};

struct TSettings {
  std::u16string LastSkin = u"standard";
  int32_t LastVolume = 255;
  std::u16string Proxy;
  TPoint LastPos{10, 10};
  TPoint MediaDbWinOffset{10, 10};
  std::u16string LastLanguage = u"german.xml";
  int32_t LastCheck = 0;
  bool AutomaticUpdates = false;
  bool Crossfade = true;
  bool Shuffle = true;
  bool Repeat = false;
  uint16_t CrossfadeInTime = 5000;   // milliseconds
  uint16_t CrossfadeOutTime = 5000;  // milliseconds
  std::vector<TKeyTableEntry> Keys;
};

extern TSettings gSettings;

// Reads "settings.xml" from the current directory into gSettings (a missing
// file gives the defaults); on an unusable file logs "cannot read or create
// file Settings.xml" and sets every field to its default. Keys is kept.
void ReadSettings();
// Writes gSettings into "settings.xml", keeping the elements and attributes
// the file held before, through a temporary file renamed into place. On
// failure logs "cannot write configuration to file", leaves the old file as
// it was and returns false.
bool WriteSettings();

// The two directions on a parsed document (a missing key or an unusable
// value gives that field's default). Throw nothing themselves.
TSettings ReadSettingsFrom(const TConfigDocument& doc);
void WriteSettingsTo(const TSettings& settings, TConfigDocument& doc);

}  // namespace vesperon
