#pragma once
// Run-time binding of the audio library ("fmodex.so", src/audiolib).
//
// The player never links the library: Bind loads it with dlopen and looks up
// every function it calls by name into gAudioLib. Callers go through those
// pointers, for example
//   gAudioLib.Channel_Stop(channel);
// and check IsAudioBound() (or InitAudio's result) before the first call.
// Names the loaded file does not export leave their pointer empty.
#include <cstdint>
#include <string>
#include <string_view>

#include "audiolib/audiolib.h"

namespace vesperon {

// The file name of the library, looked for in the executable's folder and
// then in the current folder.
inline constexpr const char* kAudioLibraryName = "fmodex.so";

// One pointer per function of the library's C interface that the player uses.
struct TAudioEntryPoints {
  decltype(&::FMOD_System_Create) System_Create = nullptr;
  decltype(&::FMOD_System_Init) System_Init = nullptr;
  decltype(&::FMOD_System_GetVersion) System_GetVersion = nullptr;
  decltype(&::FMOD_System_GetMasterChannelGroup) System_GetMasterChannelGroup = nullptr;
  decltype(&::FMOD_System_CreateSound) System_CreateSound = nullptr;
  decltype(&::FMOD_System_PlaySound) System_PlaySound = nullptr;
  decltype(&::FMOD_System_Close) System_Close = nullptr;
  decltype(&::FMOD_System_Release) System_Release = nullptr;
  decltype(&::FMOD_ChannelGroup_SetVolume) ChannelGroup_SetVolume = nullptr;
  decltype(&::FMOD_ChannelGroup_GetVolume) ChannelGroup_GetVolume = nullptr;
  decltype(&::FMOD_Sound_GetOpenState) Sound_GetOpenState = nullptr;
  decltype(&::FMOD_Sound_GetLength) Sound_GetLength = nullptr;
  decltype(&::FMOD_Sound_Release) Sound_Release = nullptr;
  decltype(&::FMOD_Channel_SetPaused) Channel_SetPaused = nullptr;
  decltype(&::FMOD_Channel_GetPaused) Channel_GetPaused = nullptr;
  decltype(&::FMOD_Channel_Stop) Channel_Stop = nullptr;
  decltype(&::FMOD_Channel_GetPosition) Channel_GetPosition = nullptr;
  decltype(&::FMOD_Channel_SetVolume) Channel_SetVolume = nullptr;
  decltype(&::FMOD_Channel_GetVolume) Channel_GetVolume = nullptr;
  decltype(&::FMOD_Channel_IsPlaying) Channel_IsPlaying = nullptr;
};

// The resolved entry points (all empty while unbound).
extern TAudioEntryPoints gAudioLib;
// The system object and its master channel group, filled by InitAudio.
extern FMOD_SYSTEM* gAudioSystem;
extern FMOD_CHANNELGROUP* gMasterGroup;

// The open mode the player uses for every song: UTF-16 name, opened in the
// background, exact length, streamed, played once.
inline constexpr FMOD_MODE kStreamMode =
    FMOD_UNICODE | FMOD_NONBLOCKING | FMOD_ACCURATETIME | FMOD_CREATESTREAM | FMOD_LOOP_OFF;

// Loads the library (kAudioLibraryName when `libraryName` is null) from the
// executable's folder, then from the current folder, and resolves every
// entry point. Returns FMOD_OK, or FMOD_ERR_LIBRARY_LOAD (69) when neither
// file loads. A library that is already bound is unbound first.
int Bind(const char* libraryName = nullptr);
// Frees the library and empties gAudioLib.
void Unbind();
bool IsAudioBound();
// True when every entry point the player calls was found.
bool HasAllEntryPoints();

// The text of a result code: codes 0-77 have their own, anything else is
// "Unknown error.".
std::string ErrorText(int result);

// Start-up step "initializing audio": binds the library (writing the copy
// the executable carries to "fmodex.so" in the current folder when the first
// attempt fails), creates and initialises the system with 32 channels,
// checks the version (at least 4.1), fetches the master group and applies
// the LastVolume setting to it. Every failure logs one "ERROR: " line and
// returns false; the caller then ends the process with exit code 3.
bool InitAudio();
// Shutdown: closes the system object and unbinds. The system object is not
// released. Safe to call when InitAudio failed or never ran.
void CloseAudio();

// Clamps `value` to 0-255, stores it as the LastVolume setting and sets the
// master group volume to value / 255. Does nothing more when audio is not
// initialised. Returns false when the library refuses the volume.
bool ApplyMasterVolume(int32_t value);

// The bytes of "fmodex.so" carried inside the executable.
std::string_view CarriedAudioLibrary();

}  // namespace vesperon
