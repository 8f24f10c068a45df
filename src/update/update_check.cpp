#include "update/update_check.h"

#include "core/log.h"
#include "update/http_client.h"

namespace vesperon {

std::vector<TUpdateInfo> gUpdates;

void CheckForUpdates() {
  Log("checking for updates...");
  const std::optional<TServerAnswer> answer = ServerGet(kUpdateListPath);
  if (!answer) return;
  gUpdates = ReadUpdateRecords(answer->Body);
  for (const TUpdateInfo& info : gUpdates) Log(PrintableText(info.Name));
  Log("check for updates done");
}

}  // namespace vesperon
