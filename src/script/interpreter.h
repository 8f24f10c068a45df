#pragma once
// The script machine: runs compiled code on a stack of 1024 cells with
// frames, string blocks and the 32 process-wide shared slots.
//
// Every run starts from an empty machine (the whole stack cleared). A run
// ends when control jumps to address 0. Anything that would leave the
// machine's bounds (stack overflow or underflow, a bad handle, a cell or slot
// out of range, an empty slot, an integer division by zero, more
// instructions than the limit) stops the run with a TScriptRunError message
// in the result; the process goes on.
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "script/host.h"
#include "script/instructions.h"

namespace vesperon {

class TScriptRunError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

inline constexpr int64_t kStackSize = 1024;
inline constexpr int kSharedSlotCount = 32;
inline constexpr uint64_t kDefaultInstructionLimit = 50'000'000;
// A string operation (joining, comparing, storing or recalling a shared
// slot) counts one instruction more against the limit for every this many
// cells it handles, so the limit bounds a run's time even when every
// instruction works on a long string.
inline constexpr uint64_t kCellsPerInstruction = 16;
// String blocks of one run may hold this many cells in all (each block
// counts 4 cells more for its bookkeeping).
inline constexpr int64_t kMaxRunCells = int64_t{1} << 22;

// Code prepared for running: every instruction resolved to its handler once.
struct TDecodedCode;
std::shared_ptr<const TDecodedCode> DecodeInstructions(const TInstructions& code);

struct TRunResult {
  bool Ok = true;
  // The failure that stopped the run; empty when the run ended normally or
  // when the machine has reported the end itself (unknown operation).
  std::string Error;
  int64_t Top = 0;        // T when the run ended
  uint64_t Executed = 0;  // instructions executed
};

class TScriptMachine {
 public:
  TScriptMachine(const TScriptHost& host, uint64_t instructionLimit);
  ~TScriptMachine();
  // For a machine kept between runs: the host and limit of the next run.
  void Configure(const TScriptHost& host, uint64_t instructionLimit);

  // One run of `code` from address 0. A limit of 0 means no limit.
  TRunResult Run(const TDecodedCode& code);

  // For host functions: the stack and the run's string blocks.
  int64_t Pop();
  void Push(int64_t value);
  // The text of the block whose handle is popped: at most 255 characters,
  // each cell taken as one 8-bit character.
  std::string PopString();
  // A new block holding `text` (cut to 255 characters); its handle is pushed.
  void PushString(std::string_view text);

 private:
  struct TState;
  std::unique_ptr<TState> State;
};

// Runs `code` once (decoding it first); for tests and tools.
TRunResult RunInstructions(const TInstructions& code, const TScriptHost& host,
                           uint64_t instructionLimit = kDefaultInstructionLimit);

// The shared slots outlive runs and engines. Tests start from empty slots.
void ClearSharedSlots();
std::optional<std::vector<int64_t>> SharedSlot(int index);

// "log: " text of a cell by type code: 0 decimal, 1 TRUE/FALSE, 2 the
// double with up to 15 significant digits ("3", "-2.5", "1E20").
std::string FormatDouble(double value);

}  // namespace vesperon
