#include "audiolib/handles.h"

#include <mutex>
#include <unordered_map>

namespace vesperon::audiolib {
namespace {

struct TRegistry {
  std::mutex Lock;
  std::unordered_map<uintptr_t, THandleTarget> Targets;
  uintptr_t NextSerial = 1;
};

TRegistry& Registry() {
  static TRegistry* registry = new TRegistry;  // never destroyed: threads may outlive exit
  return *registry;
}

}  // namespace

uintptr_t RegisterHandle(const THandleTarget& target) {
  TRegistry& r = Registry();
  std::lock_guard lock(r.Lock);
  // The kind sits in the low bits and the serial above them; the result is
  // never 0 and never a small number a caller could pass by mistake.
  const uintptr_t handle = ((r.NextSerial++ + 0x1000) << 4) | target.Kind;
  r.Targets.emplace(handle, target);
  return handle;
}

THandleTarget LookupHandle(uintptr_t handle, THandleKind kind) {
  TRegistry& r = Registry();
  std::lock_guard lock(r.Lock);
  auto it = r.Targets.find(handle);
  if (it == r.Targets.end() || it->second.Kind != kind) return {};
  return it->second;
}

void UnregisterHandle(uintptr_t handle) {
  TRegistry& r = Registry();
  std::lock_guard lock(r.Lock);
  r.Targets.erase(handle);
}

}  // namespace vesperon::audiolib
