#pragma once
// Handles: the opaque pointers the C interface hands out. A handle is a
// number, never an address: every call looks it up here, so a stale, forged
// or null handle is an error value rather than a wild dereference. Numbers
// are never reused within a process.
#include <cstdint>
#include <memory>

namespace vesperon::audiolib {

class TSystem;
struct TSound;

enum THandleKind : uint8_t { hkSystem = 1, hkGroup = 2, hkSound = 3, hkChannel = 4 };

// What a handle refers to: always its system; the sound for sound handles,
// the channel slot for channel handles.
struct THandleTarget {
  THandleKind Kind = hkSystem;
  std::shared_ptr<TSystem> System;
  std::shared_ptr<TSound> Sound;
  int Slot = -1;
};

uintptr_t RegisterHandle(const THandleTarget& target);
// Null System when the handle is unknown or of another kind.
THandleTarget LookupHandle(uintptr_t handle, THandleKind kind);
void UnregisterHandle(uintptr_t handle);

}  // namespace vesperon::audiolib
