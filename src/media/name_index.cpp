#include "media/name_index.h"

#include <cstring>

#include "media/mediadb.h"

namespace vesperon {
namespace {
std::uint32_t TagOf(std::size_t hash) {
  return static_cast<std::uint32_t>(static_cast<std::uint64_t>(hash) >> 32);
}
}  // namespace

// A multiply-xor hash over 8 bytes at a time with a final mix; file names
// are long, and this runs for every entry loaded or scanned.
std::size_t TNameIndex::Hash(std::u16string_view name) {
  const char* p = reinterpret_cast<const char*>(name.data());
  std::size_t n = name.size() * sizeof(char16_t);
  std::uint64_t h = 0x9E3779B97F4A7C15ull ^ n;
  auto mix = [&h](std::uint64_t w) {
    h = (h ^ w) * 0xBF58476D1CE4E5B9ull;
    h ^= h >> 29;
  };
  for (; n >= 8; p += 8, n -= 8) {
    std::uint64_t w;
    std::memcpy(&w, p, 8);
    mix(w);
  }
  if (n > 0) {
    std::uint64_t w = 0;
    std::memcpy(&w, p, n);
    mix(w);
  }
  h ^= h >> 31;
  h *= 0x94D049BB133111EBull;
  h ^= h >> 32;
  return static_cast<std::size_t>(h);
}

void TNameIndex::Clear() {
  Slots.clear();
  Mask = 0;
  Used = 0;
}

void TNameIndex::Reserve(std::size_t names) {
  std::size_t capacity = 16;
  while (capacity < 2 * names) capacity *= 2;
  if (capacity > Slots.size()) Grow(capacity);
}

// The slot holding `name`, or the free slot where it belongs. Entries are
// compared by their current Filename, so a hash collision never matches.
std::size_t TNameIndex::Probe(std::size_t hash, std::u16string_view name) const {
  for (std::size_t i = hash & Mask;; i = (i + 1) & Mask) {
    const TSlot& s = Slots[i];
    if (s.First == nullptr || (s.Tag == TagOf(hash) && s.First->Filename == name)) return i;
  }
}

void TNameIndex::Grow(std::size_t capacity) {
  std::vector<TSlot> old = std::move(Slots);
  Slots.assign(capacity, TSlot{});
  Mask = capacity - 1;
  for (const TSlot& s : old) {
    if (s.First == nullptr) continue;
    std::size_t i = Hash(s.First->Filename) & Mask;
    while (Slots[i].First != nullptr) i = (i + 1) & Mask;
    Slots[i] = s;
  }
}

void TNameIndex::Insert(TMediaEntry* entry, std::size_t hash) {
  if (2 * (Used + 1) > Slots.size()) Grow(Slots.empty() ? 16 : 2 * Slots.size());
  TSlot& s = Slots[Probe(hash, entry->Filename)];
  if (s.First == nullptr) {
    s = TSlot{TagOf(hash), 0, entry};
    ++Used;
  }
  if (s.Count != UINT32_MAX) ++s.Count;
}

void TNameIndex::InsertAll(const std::vector<TMediaEntry*>& entries,
                           const std::vector<std::size_t>& hashes) {
  constexpr std::size_t kAhead = 16;
  Reserve(Used + entries.size());
  for (std::size_t i = 0; i < entries.size(); ++i) {
    if (i + kAhead < hashes.size()) __builtin_prefetch(Slots.data() + (hashes[i + kAhead] & Mask));
    Insert(entries[i], hashes[i]);
  }
}

const TNameIndex::TSlot* TNameIndex::Find(std::u16string_view name, std::size_t hash) const {
  if (Slots.empty()) return nullptr;
  const TSlot& s = Slots[Probe(hash, name)];
  return s.First == nullptr ? nullptr : &s;
}

}  // namespace vesperon
