// The exported C functions: check the arguments, look the handles up and
// hand over to TSystem. Nothing here trusts a pointer it was given except
// the out-parameters, which must not be null.
#include <memory>
#include <new>
#include <string>

#include "audiolib/audiolib.h"
#include "audiolib/handles.h"
#include "audiolib/system.h"
#include "core/text.h"

using namespace vesperon::audiolib;

namespace {

uintptr_t Id(const void* handle) { return reinterpret_cast<uintptr_t>(handle); }

template <typename T>
T* AsHandle(uintptr_t id) {
  return reinterpret_cast<T*>(id);
}

std::shared_ptr<TSystem> FindSystem(FMOD_SYSTEM* system) {
  return LookupHandle(Id(system), hkSystem).System;
}

// The file name as UTF-8 bytes. UTF-16 names carry bytes that were not
// valid UTF-8 as lone surrogates, which turn back into those bytes here.
std::string FileName(const char* name, FMOD_MODE mode) {
  if ((mode & FMOD_UNICODE) == 0) return name;
  const auto* units = reinterpret_cast<const char16_t*>(name);
  size_t length = 0;
  while (units[length] != 0) ++length;
  return vesperon::Utf16ToUtf8(std::u16string_view(units, length));
}

// Runs a channel call: finds the channel's system and slot, or reports the
// handle as invalid.
template <typename F>
FMOD_RESULT WithChannel(FMOD_CHANNEL* channel, F call) {
  const THandleTarget t = LookupHandle(Id(channel), hkChannel);
  if (!t.System) return FMOD_ERR_INVALID_HANDLE;
  return call(*t.System, Id(channel), t.Slot);
}

// Every entry point catches what the C++ side may throw: an exception must
// not cross into the caller.
template <typename F>
FMOD_RESULT Guarded(F call) {
  try {
    return call();
  } catch (const std::bad_alloc&) {
    return FMOD_ERR_MEMORY;
  } catch (...) {
    return FMOD_ERR_INTERNAL;
  }
}

}  // namespace

extern "C" {

FMOD_RESULT FMOD_System_Create(FMOD_SYSTEM** system) {
  if (system == nullptr) return FMOD_ERR_INVALID_PARAM;
  return Guarded([&]() -> FMOD_RESULT {
    auto s = std::make_shared<TSystem>();
    const uintptr_t id = RegisterHandle({hkSystem, s, nullptr, -1});
    s->SetGroupHandle(RegisterHandle({hkGroup, s, nullptr, -1}));
    *system = AsHandle<FMOD_SYSTEM>(id);
    return FMOD_OK;
  });
}

FMOD_RESULT FMOD_System_Init(FMOD_SYSTEM* system, int maxchannels, FMOD_INITFLAGS, void*) {
  return Guarded([&]() -> FMOD_RESULT {
    auto s = FindSystem(system);
    return s ? s->Init(maxchannels) : FMOD_ERR_INVALID_HANDLE;
  });
}

FMOD_RESULT FMOD_System_GetVersion(FMOD_SYSTEM* system, unsigned int* version) {
  if (version == nullptr) return FMOD_ERR_INVALID_PARAM;
  if (!FindSystem(system)) return FMOD_ERR_INVALID_HANDLE;
  *version = VESPERON_AUDIOLIB_VERSION;
  return FMOD_OK;
}

FMOD_RESULT FMOD_System_GetMasterChannelGroup(FMOD_SYSTEM* system, FMOD_CHANNELGROUP** group) {
  if (group == nullptr) return FMOD_ERR_INVALID_PARAM;
  auto s = FindSystem(system);
  if (!s) return FMOD_ERR_INVALID_HANDLE;
  *group = AsHandle<FMOD_CHANNELGROUP>(s->GroupHandle());
  return FMOD_OK;
}

FMOD_RESULT FMOD_System_CreateSound(FMOD_SYSTEM* system, const char* name, FMOD_MODE mode,
                                    FMOD_CREATESOUNDEXINFO* exinfo, FMOD_SOUND** sound) {
  if (name == nullptr || sound == nullptr || exinfo != nullptr) return FMOD_ERR_INVALID_PARAM;
  return Guarded([&]() -> FMOD_RESULT {
    auto s = FindSystem(system);
    if (!s) return FMOD_ERR_INVALID_HANDLE;
    uintptr_t id = 0;
    const FMOD_RESULT r = s->CreateSound(FileName(name, mode), mode, id);
    if (r == FMOD_OK) *sound = AsHandle<FMOD_SOUND>(id);
    return r;
  });
}

FMOD_RESULT FMOD_System_PlaySound(FMOD_SYSTEM* system, FMOD_CHANNELINDEX channelid,
                                  FMOD_SOUND* sound, FMOD_BOOL paused, FMOD_CHANNEL** channel) {
  return Guarded([&]() -> FMOD_RESULT {
    auto s = FindSystem(system);
    const THandleTarget t = LookupHandle(Id(sound), hkSound);
    if (!s || !t.System || t.System != s) return FMOD_ERR_INVALID_HANDLE;
    if (channelid == FMOD_CHANNEL_REUSE && channel == nullptr) return FMOD_ERR_INVALID_PARAM;
    uintptr_t id = channel != nullptr ? Id(*channel) : 0;
    const FMOD_RESULT r = s->PlaySound(channelid, t.Sound, paused != 0, id);
    if (r == FMOD_OK && channel != nullptr) *channel = AsHandle<FMOD_CHANNEL>(id);
    return r;
  });
}

FMOD_RESULT FMOD_System_Close(FMOD_SYSTEM* system) {
  return Guarded([&]() -> FMOD_RESULT {
    auto s = FindSystem(system);
    return s ? s->Close() : FMOD_ERR_INVALID_HANDLE;
  });
}

FMOD_RESULT FMOD_System_Release(FMOD_SYSTEM* system) {
  return Guarded([&]() -> FMOD_RESULT {
    auto s = FindSystem(system);
    if (!s) return FMOD_ERR_INVALID_HANDLE;
    s->Close();
    UnregisterHandle(s->GroupHandle());
    UnregisterHandle(Id(system));
    return FMOD_OK;
  });
}

FMOD_RESULT FMOD_ChannelGroup_SetVolume(FMOD_CHANNELGROUP* group, float volume) {
  const THandleTarget t = LookupHandle(Id(group), hkGroup);
  if (!t.System) return FMOD_ERR_INVALID_HANDLE;
  return t.System->SetMasterVolume(volume);
}

FMOD_RESULT FMOD_ChannelGroup_GetVolume(FMOD_CHANNELGROUP* group, float* volume) {
  if (volume == nullptr) return FMOD_ERR_INVALID_PARAM;
  const THandleTarget t = LookupHandle(Id(group), hkGroup);
  if (!t.System) return FMOD_ERR_INVALID_HANDLE;
  *volume = t.System->MasterVolume();
  return FMOD_OK;
}

FMOD_RESULT FMOD_Sound_GetOpenState(FMOD_SOUND* sound, FMOD_OPENSTATE* openstate,
                                    unsigned int* percentbuffered, FMOD_BOOL* starving) {
  if (openstate == nullptr) return FMOD_ERR_INVALID_PARAM;
  const THandleTarget t = LookupHandle(Id(sound), hkSound);
  if (!t.System) return FMOD_ERR_INVALID_HANDLE;
  *openstate = t.Sound->OpenState.load(std::memory_order_acquire);
  if (percentbuffered != nullptr) *percentbuffered = *openstate == FMOD_OPENSTATE_READY ? 100 : 0;
  if (starving != nullptr) *starving = 0;
  return FMOD_OK;
}

FMOD_RESULT FMOD_Sound_GetLength(FMOD_SOUND* sound, unsigned int* length,
                                 FMOD_TIMEUNIT lengthtype) {
  if (length == nullptr) return FMOD_ERR_INVALID_PARAM;
  const THandleTarget t = LookupHandle(Id(sound), hkSound);
  if (!t.System) return FMOD_ERR_INVALID_HANDLE;
  return t.System->SoundLength(t.Sound, lengthtype, *length);
}

FMOD_RESULT FMOD_Sound_Release(FMOD_SOUND* sound) {
  return Guarded([&]() -> FMOD_RESULT {
    const THandleTarget t = LookupHandle(Id(sound), hkSound);
    if (!t.System) return FMOD_ERR_INVALID_HANDLE;
    return t.System->ReleaseSound(t.Sound);
  });
}

FMOD_RESULT FMOD_Channel_SetPaused(FMOD_CHANNEL* channel, FMOD_BOOL paused) {
  return WithChannel(channel, [&](TSystem& s, uintptr_t id, int slot) -> FMOD_RESULT {
    return s.SetPaused(id, slot, paused != 0);
  });
}

FMOD_RESULT FMOD_Channel_GetPaused(FMOD_CHANNEL* channel, FMOD_BOOL* paused) {
  if (paused == nullptr) return FMOD_ERR_INVALID_PARAM;
  return WithChannel(channel, [&](TSystem& s, uintptr_t id, int slot) -> FMOD_RESULT {
    bool p = false;
    const FMOD_RESULT r = s.GetPaused(id, slot, p);
    if (r == FMOD_OK) *paused = p ? 1 : 0;
    return r;
  });
}

FMOD_RESULT FMOD_Channel_Stop(FMOD_CHANNEL* channel) {
  return WithChannel(
      channel, [&](TSystem& s, uintptr_t id, int slot) -> FMOD_RESULT { return s.Stop(id, slot); });
}

FMOD_RESULT FMOD_Channel_GetPosition(FMOD_CHANNEL* channel, unsigned int* position,
                                     FMOD_TIMEUNIT postype) {
  if (position == nullptr) return FMOD_ERR_INVALID_PARAM;
  return WithChannel(channel, [&](TSystem& s, uintptr_t id, int slot) -> FMOD_RESULT {
    return s.GetPosition(id, slot, postype, *position);
  });
}

FMOD_RESULT FMOD_Channel_SetVolume(FMOD_CHANNEL* channel, float volume) {
  return WithChannel(channel, [&](TSystem& s, uintptr_t id, int slot) -> FMOD_RESULT {
    return s.SetVolume(id, slot, volume);
  });
}

FMOD_RESULT FMOD_Channel_GetVolume(FMOD_CHANNEL* channel, float* volume) {
  if (volume == nullptr) return FMOD_ERR_INVALID_PARAM;
  return WithChannel(channel, [&](TSystem& s, uintptr_t id, int slot) -> FMOD_RESULT {
    return s.GetVolume(id, slot, *volume);
  });
}

FMOD_RESULT FMOD_Channel_IsPlaying(FMOD_CHANNEL* channel, FMOD_BOOL* isplaying) {
  if (isplaying == nullptr) return FMOD_ERR_INVALID_PARAM;
  return WithChannel(channel, [&](TSystem& s, uintptr_t id, int slot) -> FMOD_RESULT {
    bool p = false;
    const FMOD_RESULT r = s.IsPlaying(id, slot, p);
    if (r == FMOD_OK) *isplaying = p ? 1 : 0;
    return r;
  });
}

}  // extern "C"
