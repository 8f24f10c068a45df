#include "audio/audio_binding.h"

#include <dlfcn.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "core/log.h"
#include "core/paths.h"
#include "core/settings.h"

namespace vesperon {

TAudioEntryPoints gAudioLib;
FMOD_SYSTEM* gAudioSystem = nullptr;
FMOD_CHANNELGROUP* gMasterGroup = nullptr;

namespace {

// The library handle from dlopen; null while unbound.
void* gLibraryHandle = nullptr;

// The oldest library version the player works with: 4.1.
constexpr unsigned kMinimumMajor = 4;
constexpr unsigned kMinimumMinor = 1;

template <typename TFunction>
void Resolve(TFunction& pointer, const char* name) {
  pointer = reinterpret_cast<TFunction>(dlsym(gLibraryHandle, name));
}

void ResolveAll() {
  TAudioEntryPoints& a = gAudioLib;
  Resolve(a.System_Create, "FMOD_System_Create");
  Resolve(a.System_Init, "FMOD_System_Init");
  Resolve(a.System_GetVersion, "FMOD_System_GetVersion");
  Resolve(a.System_GetMasterChannelGroup, "FMOD_System_GetMasterChannelGroup");
  Resolve(a.System_CreateSound, "FMOD_System_CreateSound");
  Resolve(a.System_PlaySound, "FMOD_System_PlaySound");
  Resolve(a.System_Close, "FMOD_System_Close");
  Resolve(a.System_Release, "FMOD_System_Release");
  Resolve(a.ChannelGroup_SetVolume, "FMOD_ChannelGroup_SetVolume");
  Resolve(a.ChannelGroup_GetVolume, "FMOD_ChannelGroup_GetVolume");
  Resolve(a.Sound_GetOpenState, "FMOD_Sound_GetOpenState");
  Resolve(a.Sound_GetLength, "FMOD_Sound_GetLength");
  Resolve(a.Sound_Release, "FMOD_Sound_Release");
  Resolve(a.Channel_SetPaused, "FMOD_Channel_SetPaused");
  Resolve(a.Channel_GetPaused, "FMOD_Channel_GetPaused");
  Resolve(a.Channel_Stop, "FMOD_Channel_Stop");
  Resolve(a.Channel_GetPosition, "FMOD_Channel_GetPosition");
  Resolve(a.Channel_SetVolume, "FMOD_Channel_SetVolume");
  Resolve(a.Channel_GetVolume, "FMOD_Channel_GetVolume");
  Resolve(a.Channel_IsPlaying, "FMOD_Channel_IsPlaying");
}

void* OpenLibrary(const std::filesystem::path& path) {
  // RTLD_LOCAL keeps the library's symbols out of the global scope, so a
  // second copy loaded from another folder cannot be confused with the first.
  return dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
}

// Writes the carried copy of the library to `path`, replacing what is there.
bool WriteCarriedLibrary(const std::filesystem::path& path) {
  std::string_view bytes = CarriedAudioLibrary();
  if (bytes.empty()) return false;
  // A new file (a new inode) rather than a rewrite: a library mapped from the
  // old file must not change under its users.
  std::error_code ec;
  if (!std::filesystem::is_directory(path, ec)) std::filesystem::remove(path, ec);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  return static_cast<bool>(out);
}

// Logs an init failure with the library's text and gives up.
bool Fail(const std::string& what, int result) {
  LogError(what + ErrorText(result));
  return false;
}

}  // namespace

int Bind(const char* libraryName) {
  Unbind();
  const std::filesystem::path name = libraryName != nullptr ? libraryName : kAudioLibraryName;
  gLibraryHandle = OpenLibrary(ExecutableDir() / name);
  if (gLibraryHandle == nullptr) {
    std::error_code ec;
    gLibraryHandle = OpenLibrary(std::filesystem::absolute(name, ec));
  }
  if (gLibraryHandle == nullptr) return FMOD_ERR_LIBRARY_LOAD;
  ResolveAll();
  return FMOD_OK;
}

void Unbind() {
  if (gLibraryHandle != nullptr) dlclose(gLibraryHandle);
  gLibraryHandle = nullptr;
  gAudioLib = TAudioEntryPoints{};
  gAudioSystem = nullptr;
  gMasterGroup = nullptr;
}

bool IsAudioBound() { return gLibraryHandle != nullptr; }

bool HasAllEntryPoints() {
  const TAudioEntryPoints& a = gAudioLib;
  return a.System_Create && a.System_Init && a.System_GetVersion &&
         a.System_GetMasterChannelGroup && a.System_CreateSound && a.System_PlaySound &&
         a.System_Close && a.ChannelGroup_SetVolume && a.Sound_GetOpenState && a.Sound_GetLength &&
         a.Channel_SetPaused && a.Channel_Stop && a.Channel_GetPosition && a.Channel_SetVolume &&
         a.Channel_IsPlaying;
}

bool InitAudio() {
  Log("loading audio-functions...");
  if (Bind() != FMOD_OK) {
    WriteCarriedLibrary(std::filesystem::path(kAudioLibraryName));
    if (Bind() != FMOD_OK) {
      LogError("could not load fmod!");
      return false;
    }
  }
  // A library that lacks a function the player calls would crash at the
  // first call through the empty pointer; refuse it here instead.
  if (!HasAllEntryPoints()) {
    LogError("Asssertion failed: could not load functions from dynamic library");
    Unbind();
    return false;
  }
  const TAudioEntryPoints& a = gAudioLib;
  FMOD_SYSTEM* system = nullptr;
  if (int r = a.System_Create(&system); r != FMOD_OK)
    return Fail("could not create fmod system: ", r);
  if (int r = a.System_Init(system, 32, 0, nullptr); r != FMOD_OK)
    return Fail("could not init fmod: ", r);
  gAudioSystem = system;
  unsigned version = 0;
  a.System_GetVersion(system, &version);
  const unsigned major = version >> 16, minor = version & 0xFFFF;
  Log("using fmod version " + std::to_string(major) + "." + std::to_string(minor));
  if (major < kMinimumMajor || (major == kMinimumMajor && minor < kMinimumMinor)) {
    LogError("Need a fmod version of at least " + std::to_string(kMinimumMajor) + "." +
             std::to_string(kMinimumMinor) + "!");
    // Closed again so that no thread of the library outlives a start-up
    // that is about to end the process.
    a.System_Close(system);
    gAudioSystem = nullptr;
    return false;
  }
  a.System_GetMasterChannelGroup(system, &gMasterGroup);
  ApplyMasterVolume(gSettings.LastVolume);
  return true;
}

void CloseAudio() {
  if (gAudioSystem != nullptr && gAudioLib.System_Close != nullptr)
    gAudioLib.System_Close(gAudioSystem);
  Unbind();
}

bool ApplyMasterVolume(int32_t value) {
  value = std::clamp<int32_t>(value, 0, 255);
  gSettings.LastVolume = value;
  if (gMasterGroup == nullptr || gAudioLib.ChannelGroup_SetVolume == nullptr) return false;
  return gAudioLib.ChannelGroup_SetVolume(gMasterGroup, static_cast<float>(value) / 255.0f) ==
         FMOD_OK;
}

}  // namespace vesperon
