#pragma once
// Descriptors the main loop watches besides the message queue: a subsystem
// that talks to another process (the desktop's session bus) adds a source
// at start-up and is called when its descriptor is ready or its time has
// come, always without waiting.
#include <poll.h>

#include <functional>
#include <vector>

namespace vesperon::app {

struct TLoopSource {
  std::function<int()> Fd;          // -1: nothing to watch now
  std::function<short()> Events;    // poll events wanted
  std::function<int()> TimeoutMs;   // -1: no deadline; 0: due now
  std::function<void()> Process;    // handles what is ready; never waits
  std::function<void()> AfterPass;  // runs after every main-loop pass (may be empty)
};

void AddLoopSource(TLoopSource source);
void ClearLoopSources();

// For a loop that waits: appends one pollfd per source to `fds` and lowers
// `timeoutMs` (-1: none) to the nearest deadline of a source.
void CollectLoopSourceFds(std::vector<pollfd>& fds, int& timeoutMs);
// After the wait: runs Process of every source whose descriptor is ready or
// whose deadline has come; `fds` from `first` on are the collected ones.
void DispatchLoopSources(const std::vector<pollfd>& fds, size_t first);
// Runs every source's AfterPass.
void RunLoopSourcesAfterPass();

}  // namespace vesperon::app
