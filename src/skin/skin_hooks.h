#pragma once
// The windows a skin load creates that are not skin windows: the about box,
// the media-db window and the video window. They live in a layer above the
// skin, so the skin reaches them only through this table, which the
// application fills with that layer's functions at start-up. While an entry's
// Create is empty the skin creates nothing for it and says so in the debug
// log; the other functions of an empty entry are not called.
#include <cstdint>
#include <functional>

namespace vesperon {

class TSkin;

struct TSkinWindowFactory {
  // Creates the window, hidden, from the loaded skin (its standard-window
  // look, its main window as owner). False when it could not be made.
  std::function<bool(TSkin&)> Create;
  std::function<void()> Show;
  std::function<void()> Hide;
  // Destroys the window and frees what Create made; called by Unload.
  std::function<void()> Destroy;
};

struct TMediaWindowFactory : TSkinWindowFactory {
  // Selects the row of that index in the media list, scrolling it into view.
  std::function<void(int32_t index)> SelectRow;
};

struct TSkinWindowHooks {
  TSkinWindowFactory About;
  TMediaWindowFactory MediaDB;
  TSkinWindowFactory Video;
};

// Filled by the application before the first skin load.
extern TSkinWindowHooks gSkinWindowHooks;

}  // namespace vesperon
