#include "media/mediadb.h"

#include <utility>

#include "core/paths.h"

namespace vesperon {
namespace {

std::unique_ptr<TMediaDB>& GlobalMediaDB() {
  static std::unique_ptr<TMediaDB> db;
  return db;
}

// The specified quicksort: middle pivot taken once, Hoare partition. It is
// not stable, so the order of equal keys follows from this exact scheme.
// The smaller side is sorted by recursion and the larger one by looping,
// which gives the same result with a stack depth of log2(n).
template <typename Before, typename After>
void QuickSort(std::vector<std::unique_ptr<TMediaEntry>>& e, int lo, int hi, Before before, After after) {
  while (lo < hi) {
    const TMediaEntry* pivot = e[static_cast<std::size_t>((lo + hi) / 2)].get();
    int i = lo;
    int j = hi;
    do {
      while (before(*e[i], *pivot)) ++i;
      while (after(*e[j], *pivot)) --j;
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

template <typename Key>
void SortByString(std::vector<std::unique_ptr<TMediaEntry>>& e, Key key, bool descending) {
  if (e.size() < 2) return;
  QuickSort(
      e, 0, static_cast<int>(e.size()) - 1,
      [&](const TMediaEntry& a, const TMediaEntry& p) { return CompareWide(key(a), key(p), descending) < 0; },
      [&](const TMediaEntry& a, const TMediaEntry& p) { return CompareWide(key(a), key(p), descending) > 0; });
}

}  // namespace

int CompareWide(std::u16string_view a, std::u16string_view b, bool descending) {
  const std::size_t n = a.size() < b.size() ? a.size() : b.size();
  int result = 0;
  for (std::size_t i = 0; i < n && result == 0; ++i) {
    if (a[i] != b[i]) result = a[i] < b[i] ? -1 : 1;
  }
  if (result == 0 && a.size() != b.size()) {
    // A longer A wins at its first extra unit (+1); a shorter A returns the
    // length difference, as the string comparison of the stored files did.
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
  return Entries[static_cast<std::size_t>(index)].get();
}

TPMEArray TMediaDB::FindByFilename(const std::u16string& name) const {
  const auto it = NameIndex.find(name);
  if (it == NameIndex.end()) return {};
  if (it->second.Count == 1) return {it->second.First};
  TPMEArray found;
  for (const auto& e : Entries) {
    if (e->Filename == name) found.push_back(e.get());
  }
  return found;
}

void TMediaDB::Add(const TMediaEntry& entry) { Append(std::make_unique<TMediaEntry>(entry)); }

void TMediaDB::Append(std::unique_ptr<TMediaEntry> entry) {
  TNameSlot& slot = NameIndex[entry->Filename];
  if (slot.Count++ == 0) slot.First = entry.get();
  Entries.push_back(std::move(entry));
  ClearSortFlags();
}

void TMediaDB::Clear() {
  Entries.clear();
  NameIndex.clear();
}

void TMediaDB::ClearSortFlags() {
  SortedByTitle = SortedByArtist = SortedByFilename = false;
  SortedByAdded = SortedByGenre = SortedByAlbum = false;
}

// Each sort does nothing when its flag and direction already hold.
#define VESPERON_SORT_BY_STRING(Field)                                                  \
  void TMediaDB::SortBy##Field(bool descending) {                                       \
    if (SortedBy##Field && SortDescending == descending) return;                        \
    SortByString(                                                                       \
        Entries, [](const TMediaEntry& e) -> const std::u16string& { return e.Field; }, \
        descending);                                                                    \
    ClearSortFlags();                                                                   \
    SortedBy##Field = true;                                                             \
    SortDescending = descending;                                                        \
  }
VESPERON_SORT_BY_STRING(Title)
VESPERON_SORT_BY_STRING(Artist)
VESPERON_SORT_BY_STRING(Filename)
VESPERON_SORT_BY_STRING(Genre)
VESPERON_SORT_BY_STRING(Album)
#undef VESPERON_SORT_BY_STRING

void TMediaDB::SortByAdded(bool descending) {
  if (SortedByAdded && SortDescending == descending) return;
  if (Entries.size() > 1) {
    QuickSort(
        Entries, 0, Count() - 1,
        [&](const TMediaEntry& a, const TMediaEntry& p) { return descending ? a.Added > p.Added : a.Added < p.Added; },
        [&](const TMediaEntry& a, const TMediaEntry& p) { return descending ? a.Added < p.Added : a.Added > p.Added; });
  }
  ClearSortFlags();
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
