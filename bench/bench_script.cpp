// The script machine against Lua 5.4 on the same counting loop, both timed
// in this run: WHILE i < 10000000 DO i := i + 1 END, the instruction limit
// lifted. Prints both CPU times (best of five) and the ratio ours / Lua's.
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

#include "script/scriptengine.h"

namespace {

constexpr int kRounds = 5;

const char* const kModule =
    "module bench;\r\n"
    "var integer i;\r\n"
    "begin\r\n"
    "  i := 0;\r\n"
    "  WHILE i < 10000000 DO i := i + 1 END;\r\n"
    "  log i\r\n"
    "end bench;\r\n";

// The same loop with a local counter, timed inside Lua by os.clock (the
// process's CPU time) so that starting the interpreter is not counted.
const char* const kLuaCommand =
    "lua5.4 -e 'local best = math.huge "
    "for r = 1, 5 do local t = os.clock() local i = 0 "
    "while i < 10000000 do i = i + 1 end "
    "local d = os.clock() - t if d < best then best = d end end "
    "print(best)' 2>/dev/null";

// CPU time of this process, as Lua's os.clock measures it: on a busy
// machine wall time would also count the time others had the core.
double CpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

double BestScriptSeconds() {
  vesperon::TScriptengine engine;
  if (!engine.CompileModule(kModule)) return -1;
  engine.SetInstructionLimit(0);
  double best = 1e9;
  for (int round = 0; round < kRounds; ++round) {
    const double start = CpuSeconds();
    if (!engine.Run()) return -1;
    const double elapsed = CpuSeconds() - start;
    if (elapsed < best) best = elapsed;
  }
  return best;
}

double BestLuaSeconds() {
  FILE* pipe = popen(kLuaCommand, "r");
  if (pipe == nullptr) return -1;
  char line[64] = {0};
  const bool read = std::fgets(line, sizeof line, pipe) != nullptr;
  const int status = pclose(pipe);
  if (!read || status != 0) return -1;
  return std::atof(line);
}

}  // namespace

int main() {
  const double ours = BestScriptSeconds();
  if (ours < 0) {
    std::printf("script: the benchmark module failed\n");
    return 1;
  }
  std::printf("script counting loop, 10M iterations: %.1f ms (best of %d)\n", ours * 1000, kRounds);
  const double lua = BestLuaSeconds();
  if (lua <= 0) {
    std::printf("lua5.4 not available: no ratio (install the Debian package lua5.4)\n");
    return 0;
  }
  std::printf("lua 5.4 counting loop, 10M iterations: %.1f ms (best of %d)\n", lua * 1000, kRounds);
  std::printf("ratio script / lua: %.2f (target: at most 1.00)\n", ours / lua);
  return 0;
}
