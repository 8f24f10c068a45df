#pragma once
// The update check: asks the update server for its list of updates and
// keeps it in the process-wide list that installation consumes.
#include <vector>

#include "update/update_record.h"

namespace vesperon {

// Empty at start; replaced by every check that got an answer.
extern std::vector<TUpdateInfo> gUpdates;

// The path of the update list on the server.
inline constexpr const char* kUpdateListPath = "/updates/vesperon/updates.dat";

// Fetches the list and logs each entry's name. Without an answer the list
// stays as it was.
void CheckForUpdates();

}  // namespace vesperon
