#pragma once
// The database's index of file names: an open-addressing hash table with
// one slot per distinct name, holding the first entry of that name and how
// many entries carry it. Adding or finding a name costs one probe sequence,
// also when a file holds the same name many times over.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vesperon {

struct TMediaEntry;

class TNameIndex {
 public:
  // 16 bytes, so that the table of a large database stays small.
  struct TSlot {
    std::uint32_t Tag = 0;         // the hash's upper half
    std::uint32_t Count = 0;       // entries of this name (stops at 2^32 - 1)
    TMediaEntry* First = nullptr;  // nullptr: the slot is free
  };

  void Clear();
  void Reserve(std::size_t names);
  static std::size_t Hash(std::u16string_view name);
  // Adds the entry under its Filename, whose Hash is given.
  void Insert(TMediaEntry* entry, std::size_t hash);
  // Inserts entries[i] under hashes[i], in order. Used by the loader: with
  // all hashes known it can fetch slots well ahead of their use, which
  // hides the cache misses of a large table.
  void InsertAll(const std::vector<TMediaEntry*>& entries, const std::vector<std::size_t>& hashes);
  // The slot of the name, or nullptr when no entry carries it.
  const TSlot* Find(std::u16string_view name) const { return Find(name, Hash(name)); }
  const TSlot* Find(std::u16string_view name, std::size_t hash) const;

 private:
  std::size_t Probe(std::size_t hash, std::u16string_view name) const;
  void Grow(std::size_t capacity);

  std::vector<TSlot> Slots;  // a power of two long, at most half full
  std::size_t Mask = 0;      // Slots.size() - 1, or 0 while there are none
  std::size_t Used = 0;
};

}  // namespace vesperon
