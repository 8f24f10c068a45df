#include "media/mediadb.h"

#include <utility>

#include "core/paths.h"

namespace vesperon {
namespace {

std::unique_ptr<TMediaDB>& GlobalMediaDB() {
  static std::unique_ptr<TMediaDB> db;
  return db;
}

// The quicksort all six sorts use: middle pivot taken once, Hoare
// partition. It is not stable; the order of equal keys follows from this
// exact scheme, so it is kept as it is.
// The smaller side is sorted by recursion and the larger one by looping,
// which gives the same result with a stack depth of log2(n).
template <typename Item, typename Before, typename After>
void QuickSort(std::vector<Item>& e, std::ptrdiff_t lo, std::ptrdiff_t hi, Before before,
               After after) {
  while (lo < hi) {
    const auto pivot = e[static_cast<std::size_t>((lo + hi) / 2)].first;
    std::ptrdiff_t i = lo;
    std::ptrdiff_t j = hi;
    do {
      while (before(e[i].first, pivot)) ++i;
      while (after(e[j].first, pivot)) --j;
      if (i <= j) {
        std::swap(e[i], e[j]);
        ++i;
        --j;
      }
    } while (i <= j);
    if (j - lo < hi - i) {
      if (lo < j) QuickSort(e, lo, j, before, after);
      lo = i;
    } else {
      if (i < hi) QuickSort(e, i, hi, before, after);
      hi = j;
    }
  }
}

}  // namespace

int CompareWide(std::u16string_view a, std::u16string_view b, bool descending) {
  const std::size_t n = a.size() < b.size() ? a.size() : b.size();
  int result = 0;
  for (std::size_t i = 0; i < n && result == 0; ++i) {
    if (a[i] != b[i]) result = a[i] < b[i] ? -1 : 1;
  }
  if (result == 0 && a.size() != b.size()) {
    // A longer A is +1 at its first extra unit; a proper prefix A gives
    // the (negative) length difference.
    result = a.size() > b.size() ? 1 : static_cast<int>(a.size()) - static_cast<int>(b.size());
  }
  return descending ? -result : result;
}

TMediaDB::TMediaDB() = default;
TMediaDB::~TMediaDB() = default;

bool TMediaDB::GetEntry(int index, TMediaEntry& entry) const {
  if (index < 0 || index >= Count()) return false;
  entry = *Entries[static_cast<std::size_t>(index)];
  return true;
}

PMediaEntry TMediaDB::GetEntryPtr(int index) const {
  if (index < 0 || index >= Count()) return nullptr;
  return Entries[static_cast<std::size_t>(index)];
}

TPMEArray TMediaDB::FindByFilename(const std::u16string& name) const {
  const TNameIndex::TSlot* slot = NameIndex.Find(name);
  if (slot == nullptr) return {};
  if (slot->Count == 1) return {slot->First};
  // Several entries of one name (only Add or a loaded file makes them):
  // report them in Entries order.
  TPMEArray found;
  for (const PMediaEntry e : Entries) {
    if (e->Filename == name) found.push_back(e);
  }
  return found;
}

bool TMediaDB::HasFilename(const std::u16string& name) const {
  return NameIndex.Find(name) != nullptr;
}

int TMediaDB::IndexOfFilename(const std::u16string& name) const {
  const TNameIndex::TSlot* slot = NameIndex.Find(name);
  if (slot == nullptr) return -1;
  for (std::size_t i = 0; i < Entries.size(); ++i) {
    // With one entry of the name, comparing pointers is enough.
    if (slot->Count == 1 ? Entries[i] == slot->First : Entries[i]->Filename == name)
      return static_cast<int>(i);
  }
  return -1;
}

PMediaEntry TMediaDB::NewEntry() {
  if (BlockUsed == kBlockSize) {
    Blocks.push_back(std::make_unique<TMediaEntry[]>(kBlockSize));
    BlockUsed = 0;
  }
  return &Blocks.back()[BlockUsed++];
}

void TMediaDB::Add(const TMediaEntry& entry) {
  const PMediaEntry e = NewEntry();
  *e = entry;
  Append(e);
}

void TMediaDB::Append(PMediaEntry entry) { Append(entry, TNameIndex::Hash(entry->Filename)); }

void TMediaDB::Append(PMediaEntry entry, std::size_t nameHash) {
  Entries.push_back(entry);
  NameIndex.Insert(entry, nameHash);
  ClearSortFlags();
}

void TMediaDB::Clear() {
  Entries.clear();
  Blocks.clear();
  BlockUsed = kBlockSize;
  NameIndex.Clear();
}

void TMediaDB::ClearSortFlags() {
  SortedByTitle = SortedByArtist = SortedByFilename = false;
  SortedByAdded = SortedByGenre = SortedByAlbum = false;
}

// Sorts (key, entry) pairs rather than the entries themselves, so that a
// comparison reads the key without going through the entry; the order that
// results is the same.
template <typename Key, typename KeyOf, typename Before, typename After>
void TMediaDB::SortBy(KeyOf keyOf, Before before, After after) {
  std::vector<std::pair<Key, TMediaEntry*>> items;
  items.reserve(Entries.size());
  for (const PMediaEntry e : Entries) items.emplace_back(keyOf(*e), e);
  if (items.size() > 1)
    QuickSort(items, 0, static_cast<std::ptrdiff_t>(items.size()) - 1, before, after);
  for (std::size_t i = 0; i < items.size(); ++i) Entries[i] = items[i].second;
  ClearSortFlags();
}

// Each sort does nothing when its flag and direction already hold.
#define VESPERON_SORT_BY_STRING(Field)                                                             \
  void TMediaDB::SortBy##Field(bool descending) {                                                  \
    if (SortedBy##Field && SortDescending == descending) return;                                   \
    SortBy<std::u16string_view>([](const TMediaEntry& e) { return std::u16string_view(e.Field); }, \
                                [=](std::u16string_view a, std::u16string_view p) {                \
                                  return CompareWide(a, p, descending) < 0;                        \
                                },                                                                 \
                                [=](std::u16string_view a, std::u16string_view p) {                \
                                  return CompareWide(a, p, descending) > 0;                        \
                                });                                                                \
    SortedBy##Field = true;                                                                        \
    SortDescending = descending;                                                                   \
  }
VESPERON_SORT_BY_STRING(Title)
VESPERON_SORT_BY_STRING(Artist)
VESPERON_SORT_BY_STRING(Filename)
VESPERON_SORT_BY_STRING(Genre)
VESPERON_SORT_BY_STRING(Album)
#undef VESPERON_SORT_BY_STRING

// Times are compared as numbers: ascending, before = earlier.
void TMediaDB::SortByAdded(bool descending) {
  if (SortedByAdded && SortDescending == descending) return;
  SortBy<double>([](const TMediaEntry& e) { return e.Added; },
                 [=](double a, double p) { return descending ? a > p : a < p; },
                 [=](double a, double p) { return descending ? a < p : a > p; });
  SortedByAdded = true;
  SortDescending = descending;
}

TMediaDB* MediaDB() { return GlobalMediaDB().get(); }

TMediaDB& CreateMediaDB() {
  GlobalMediaDB() = std::make_unique<TMediaDB>();
  return *GlobalMediaDB();
}

void FreeMediaDB() { GlobalMediaDB().reset(); }

std::filesystem::path MediaDBPath() { return ExecutableDir() / "media.db"; }

}  // namespace vesperon
