#pragma once
// What scripts may see and drive: the player and the skin, behind two small
// interfaces. The playback controller implements TScriptPlayerHost, the
// loaded skin TScriptSkinHost; tests bring their own. A missing side (a null
// pointer) means nothing is loaded there: positions read 0, tags read
// "no_title" and friends, player and skin calls do nothing.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vesperon {

// The tags of the current channel's media entry.
struct TScriptSongTags {
  std::u16string Artist;
  std::u16string Title;
  std::u16string Album;
  std::u16string Genre;
};

class TScriptPlayerHost {
 public:
  virtual ~TScriptPlayerHost() = default;
  // Position of the current channel in milliseconds; 0 without a library channel.
  virtual uint32_t CurrentPosition() = 0;
  // Length of the current channel's sound in milliseconds; 0 without a sound.
  virtual uint32_t CurrentLength() = 0;
  // The player's Paused flag.
  virtual bool Paused() = 0;
  // The current channel's media entry; none when the file is not in the database.
  virtual std::optional<TScriptSongTags> CurrentEntry() = 0;
  virtual void Play() = 0;
  virtual void Stop() = 0;
  virtual void Pause() = 0;
  // Next and Previous without crossfading.
  virtual void Next() = 0;
  virtual void Previous() = 0;
};

// Items are found by exact (case-sensitive) name, the first match in window
// order. Names and texts are 8-bit Windows-1252 text of at most 255 bytes.
class TScriptSkinHost {
 public:
  virtual ~TScriptSkinHost() = default;
  // The first label of that name gets the text and repaints.
  virtual void SetLabelText(std::string_view name, std::string_view text) = 0;
  // The first button, label or progress bar of that name (buttons first, then
  // labels, then progress bars, window by window) is shown or hidden.
  virtual void SetItemVisible(std::string_view name, bool visible) = 0;
  // The position of the first progress bar of that name; 0 when there is none.
  virtual int64_t ProgressBarPosition(std::string_view name) = 0;
  // The position, clamped from above to the bar's maximum; the bar repaints.
  virtual void SetProgressBarPosition(std::string_view name, int64_t position) = 0;
  // The maximum; a position above it drops to it; no repaint.
  virtual void SetProgressBarMax(std::string_view name, int64_t maximum) = 0;
};

struct TScriptHost {
  TScriptPlayerHost* Player = nullptr;
  TScriptSkinHost* Skin = nullptr;
};

}  // namespace vesperon
