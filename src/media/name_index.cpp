#include "media/name_index.h"

#include <functional>

#include "media/mediadb.h"

namespace vesperon {
std::size_t TNameIndex::Hash(std::u16string_view name) { return std::hash<std::u16string_view>{}(name); }

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
    if (s.First == nullptr || (s.Hash == hash && s.First->Filename == name)) return i;
  }
}

void TNameIndex::Grow(std::size_t capacity) {
  std::vector<TSlot> old = std::move(Slots);
  Slots.assign(capacity, TSlot{});
  Mask = capacity - 1;
  for (const TSlot& s : old) {
    if (s.First == nullptr) continue;
    std::size_t i = s.Hash & Mask;
    while (Slots[i].First != nullptr) i = (i + 1) & Mask;
    Slots[i] = s;
  }
}

void TNameIndex::Insert(TMediaEntry* entry, std::size_t hash) {
  if (2 * (Used + 1) > Slots.size()) Grow(Slots.empty() ? 16 : 2 * Slots.size());
  TSlot& s = Slots[Probe(hash, entry->Filename)];
  if (s.First == nullptr) {
    s = TSlot{hash, entry, 0};
    ++Used;
  }
  ++s.Count;
}

void TNameIndex::InsertAll(const std::vector<TMediaEntry*>& entries, const std::vector<std::size_t>& hashes) {
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
