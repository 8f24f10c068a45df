#pragma once
// The 20 host functions through which scripts see the player and the skin:
// their names, numbers and types for the compiler, and their effects for the
// interpreter's ext instruction.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "script/host.h"
#include "script/instructions.h"

namespace vesperon {

class TScriptMachine;

struct THostFunction {
  std::string_view Name;  // upper case, as scripts write it in any case
  int32_t Number;         // ext's A
  int32_t ArgCount;
  std::array<TVarType, 2> Args;
  TVarType Result;  // vtVoid for procedures
};

inline constexpr int kHostFunctionCount = 20;
extern const std::array<THostFunction, kHostFunctionCount> kHostFunctions;

// Runs host function `number` on the machine: takes its arguments off the
// stack (the last on top) and pushes its result, if any. An unknown number,
// a missing argument or a bad string handle throws TScriptRunError.
void CallHostFunction(int64_t number, TScriptMachine& machine, const TScriptHost& host);

// "MM:SS" with at least two digits each: 65 -> "01:05", 6000 -> "100:00".
// Negative values are shown with a leading minus: -65 -> "-01:05".
std::string TimeToStr(int64_t seconds);

}  // namespace vesperon
