#include "app/loop_sources.h"

#include <algorithm>

#include "core/idle_path.h"

namespace vesperon::app {
namespace {

VESPERON_IDLE_PATH std::vector<TLoopSource>& Sources() {
  static std::vector<TLoopSource> sources;
  return sources;
}

}  // namespace

void AddLoopSource(TLoopSource source) { Sources().push_back(std::move(source)); }

void ClearLoopSources() { Sources().clear(); }

VESPERON_IDLE_PATH void CollectLoopSourceFds(std::vector<pollfd>& fds, int& timeoutMs) {
  for (const TLoopSource& source : Sources()) {
    fds.push_back(pollfd{source.Fd(), source.Events(), 0});
    const int due = source.TimeoutMs();
    if (due >= 0 && (timeoutMs < 0 || due < timeoutMs)) timeoutMs = due;
  }
}

VESPERON_IDLE_PATH void DispatchLoopSources(const std::vector<pollfd>& fds, size_t first) {
  // Process may add or clear sources; only those collected are visited.
  const size_t count = std::min(Sources().size(), fds.size() - first);
  for (size_t i = 0; i < count; ++i) {
    const TLoopSource& source = Sources()[i];
    if (fds[first + i].revents != 0 || source.TimeoutMs() == 0) source.Process();
  }
}

VESPERON_IDLE_PATH void RunLoopSourcesAfterPass() {
  for (const TLoopSource& source : Sources()) {
    if (source.AfterPass) source.AfterPass();
  }
}

}  // namespace vesperon::app
