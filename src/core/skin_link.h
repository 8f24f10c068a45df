#pragma once
// What the player and the command strings ask of the loaded skin.
//
// Several steps of playback and of the command strings happen only while a
// skin object exists: selecting the playing song in the media list, the tray
// tip, the skin's event command strings, its scripts and windows. They all go
// through gSkinLink, which the skin sets when it creates its object and clears
// before freeing it. While it is null those steps are skipped.
#include <cstdint>
#include <string>
#include <string_view>

namespace vesperon {

class TSkinLink {
 public:
  virtual ~TSkinLink() = default;

  // Selects row `index` of the media-db list; when that row lies outside the
  // visible rows ((index - TopIndex) * RowHeight negative or not below the
  // list's Height) the list scrolls so that TopIndex becomes index - 2.
  virtual void SelectMediaRow(int32_t index) = 0;
  // The tray icon's tip text.
  virtual void SetTrayTip(std::u16string_view text) = 0;

  // The skin's two event command strings, as written in its description;
  // valid while the skin stays loaded.
  virtual std::u16string_view OnSong() const = 0;
  virtual std::u16string_view OnTime() const = 0;
  // Runs the first script whose upper-cased module name equals
  // `upperName`, 8-bit (Windows-1252) text as module names are. False when
  // the skin has no script of that name.
  virtual bool RunScript(std::string_view upperName) = 0;
  // When the OnTime string is a "script:" command, runs that script (nothing
  // when the skin has no such module) and returns true; false for any other
  // command, which the caller then runs itself.
  virtual bool RunOnTimeScript() = 0;
  // Advances every scrolling label of every skin window one step.
  virtual void AdvanceScrolling() = 0;

  virtual void ShowMediaWindow() = 0;
  virtual void ShowVideoWindow() = 0;
  virtual void ShowAboutWindow() = 0;
  // Shows the first skin window of exactly that name; nothing when none.
  virtual void ShowSkinWindow(std::u16string_view name) = 0;
  // Unloads the current skin and loads the named one.
  virtual bool LoadSkin(std::u16string_view name) = 0;
};

// The skin object's link, or null while no skin object exists.
extern TSkinLink* gSkinLink;

}  // namespace vesperon
