#pragma once
// A coverage build (cmake -DVESPERON_COVERAGE=ON) writes a process's line
// counts when the process ends through exit(). A process that ends with
// _exit() or replaces itself with exec() calls this first so that the lines
// it ran are counted too. In every other build it does nothing.
#ifdef VESPERON_COVERAGE
extern "C" void __gcov_dump(void);  // NOLINT(bugprone-reserved-identifier): the gcov runtime
#endif

namespace vesperon {

inline void WriteCoverageCounts() {
#ifdef VESPERON_COVERAGE
  __gcov_dump();
#endif
}

}  // namespace vesperon
