// Sorting 100,000 entries by title against std::sort of the same titles.
#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "bench_media_timing.h"
#include "media/mediadb.h"

using namespace vesperon;

int main() {
  constexpr int kEntries = 100000;
  std::mt19937 rng(42);
  std::uniform_int_distribution<int> len(4, 40), letter(0, 52);
  std::vector<std::u16string> titles;
  for (int i = 0; i < kEntries; ++i) {
    std::u16string t;
    for (int n = len(rng); n > 0; --n) {
      const int c = letter(rng);
      t += c == 52 ? u' ' : static_cast<char16_t>(c < 26 ? u'A' + c : u'a' + c - 26);
    }
    titles.push_back(std::move(t));
  }
  std::unique_ptr<TMediaDB> db;
  std::vector<std::u16string> plain;
  const auto prepare = [&] {
    db = std::make_unique<TMediaDB>();
    for (int i = 0; i < kEntries; ++i) {
      TMediaEntry e;
      e.Filename = u"/music/" + std::u16string(titles[i]) + u".mp3";
      e.Title = titles[i];
      db->Add(e);
    }
    plain = titles;
  };
  const bench::TTiming t = bench::Compare(
      7, prepare, [&] { db->SortByTitle(false); }, [&] { std::sort(plain.begin(), plain.end()); });
  return bench::Report("sort 100,000 entries by title", t, 2.0) ? 0 : 1;
}
