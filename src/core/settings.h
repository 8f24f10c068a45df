#pragma once
// The user's settings: one process-wide record, read from "settings.xml" at
// start-up and written back at shutdown; the other subsystems read and change
// the record directly in between.
#include <cstdint>
#include <string>
#include <vector>

namespace vesperon {

struct TPoint {
  int32_t x = 0;
  int32_t y = 0;
};

struct TKeyTableEntry {
  uint16_t Value = 0;     // virtual-key code
  uint16_t Extended = 0;  // compared with the scan code (bits 16-23 of the key data)
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

// Reads "settings.xml" from the current directory into gSettings; on any
// failure logs an error and leaves every field at its default.
void ReadSettings();
// Writes gSettings into "settings.xml", keeping what the file held before.
void WriteSettings();

}  // namespace vesperon
