#pragma once
// The calls start-up, the main loop and shutdown make into the other
// subsystems. Each is one function with its own block in subsystems.cpp;
// the subsystem that provides the work fills in that body. Until then a call
// does nothing and succeeds.
#include <cstdint>
#include <functional>
#include <string>

namespace vesperon::app {

// --- windows: splash (start-up steps 7-16) ---
void ShowSplash();
void SetSplashStatus(const std::u16string& text);
void CloseSplash();

// --- skin packages: --compileskin (start-up step 2) ---
// Packs the skin described by the existing file; returns the exit code.
int CompileSkin(const std::u16string& descriptionFile);

// --- update: --update (start-up step 4) ---
// The update check followed by the update installation.
void RunUpdateAndInstall();

// --- audio: start-up step 11 ---
// Binds and initialises the audio library; false ends start-up with exit
// code 3 (the audio subsystem has logged why).
bool InitAudio();

// --- media: start-up step 13 ---
// Creates the media database and loads "media.db" beside the executable.
void LoadMediaDB();

// --- skin packages: start-up step 14 ---
// Creates the skin object and loads the named skin; false ends start-up
// with exit code 4.
bool CreateAndLoadSkin(const std::u16string& name);

// --- windows: start-up step 17 ---
void RunConfigurationAssistant();

// --- update: start-up step 19 ---
void RunUpdateCheck();

// --- media: start-up step 21 ---
// Adds the existing directory and all its subfolders to the media database.
void AddDirectoryToMediaDB(const std::u16string& dir);

// --- playback: start-up step 22 ---
// Opens the file into the next channel (extra value 0); it is not started.
void OpenFileIntoNextChannel(const std::u16string& file);

// --- playback: main loop, every step ---
// Crossfade and end-of-song handling of the current channel, then the
// fade-out of the other one.
void PlaybackStep();
// How long the main loop may sleep before PlaybackStep has work again
// (0: step every pass; UINT32_MAX: nothing plays).
uint32_t MsUntilPlaybackStepWork();
// The main loop hands playback a way to run one nested step of itself: a
// song that fails to load runs one before the player advances. Empty while
// no main loop runs.
void SetNestedMainLoopStep(std::function<void()> step);

// --- desktop: after start-up step 16, and first in shutdown ---
// Connects to the session bus (MPRIS, notifications), adds the bus to the
// main loop's sources and routes warnings to the desktop's notifications.
// Without a session bus: one debug log line, nothing else.
void StartDesktop();
void StopDesktop();

// --- skin: main loop, slow timer (every 27th step) ---
// True once the skin object exists.
bool SkinExists();
// Runs the skin's OnTime command string and advances every scrolling label.
void SkinSlowWork();

// --- audio: shutdown step 2 ---
// Stops both channels, closes the audio system and unloads the library.
void DeinitAudio();

// --- skin packages: shutdown step 4 ---
// Unloads the skin and frees the skin object.
void FreeSkin();

// --- media: shutdown step 5 ---
// Saves "media.db" beside the executable and frees the database.
void SaveAndFreeMediaDB();

}  // namespace vesperon::app
