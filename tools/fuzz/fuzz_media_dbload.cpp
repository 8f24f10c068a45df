// The media database file comes from disk and may be damaged: loading any
// bytes must neither crash nor hang, must keep Count consistent, and what
// was loaded must save and load again unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "media/mediadb.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  using namespace vesperon;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  TMediaDB db;
  db.LoadFromBytes(bytes, u"fuzz");
  for (int i = 0; i < db.Count(); ++i) {
    const PMediaEntry e = db.GetEntryPtr(i);
    if (e == nullptr || db.FindByFilename(e->Filename).empty()) std::abort();
  }
  if (db.GetEntryPtr(db.Count()) != nullptr) std::abort();
  // The records that were loaded save back byte for byte; only the count
  // in front can differ (a damaged file announces more than it holds).
  const std::string saved = db.SaveToBytes();
  if (db.Count() > 0 && (saved.size() > bytes.size() ||
                         std::string_view(saved).substr(4) != bytes.substr(4, saved.size() - 4))) {
    std::abort();
  }
  TMediaDB again;
  again.LoadFromBytes(saved, u"fuzz");
  if (again.Count() != db.Count() || again.SaveToBytes() != saved) std::abort();
  db.SortByTitle(false);
  db.SortByAdded(true);
  if (db.Count() != again.Count()) std::abort();
  return 0;
}
