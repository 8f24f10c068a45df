#pragma once
// The instruction set of the script machine and the listing of compiled code.
//
// Every value is one signed 64-bit cell: an Integer, a Boolean (0 or 1), the
// raw bits of a Double, or the handle of a string block. A string block holds
// its length n in cell 0 and one character code per cell in cells 1 to n.
#include <cstdint>
#include <string>
#include <vector>

namespace vesperon {

// clang-format off
enum TOpCode : uint8_t {
  ocLit, // L = 0: push A; L = k > 0: store A into cell k - 1 of the block on top
  ocOpr, // arithmetic, logic, comparison or return: operation A on operands of type L
  ocLod, // push the cell A of the frame L static levels out
  ocSto, // pop into the cell A of the frame L static levels out
  ocCal, // call code address A: new frame with static link Base(L), dynamic link B, return address
  ocInt, // reserve A cells on the stack (a negative A drops cells)
  ocExt, // call host function number A
  ocJmp, // jump to A; jumping to 0 ends the run
  ocJpc, // pop; jump to A when the popped cell is 0
  ocLog, // pop and write the value as "log: ..." (A is its type code)
  ocAlc, // allocate a string block of A zeroed cells and push its handle
  ocFre, // empty the string block with handle A
  ocGtr, // replace the slot number on top by the value recalled from that shared slot (A: type code)
  ocStr, // store the value beneath the slot number on top into that shared slot, pop the number (A: type code)
};
// clang-format on

inline constexpr int kOpCodeCount = ocStr + 1;

// Operations of opr (its A).
enum TOperation : int64_t {
  opReturn = 0,
  opNegate = 1,
  opAdd = 2,
  opSubtract = 3,
  opMultiply = 4,
  opDivide = 5,
  opEqual = 8,
  opUnequal = 9,
  opLess = 10,
  opGreater = 11,
  opGreaterEqual = 12,
  opLessEqual = 13,
  opAnd = 14,
  opOr = 15,
  opNot = 16,
  opXor = 17,
  opModulo = 18,
};

// Type codes, as carried by opr's L and by log, gtr and str's A.
enum TTypeCode : uint8_t { tcInteger = 0, tcBoolean = 1, tcDouble = 2, tcString = 3 };

// Types of the language. The order differs from the type codes above.
enum TVarType : uint8_t { vtInteger, vtDouble, vtString, vtBoolean, vtPointer, vtVoid };

// The type code of a value of type `type`; -1 for types without one.
int TypeCodeOf(TVarType type);

struct TInstruction {
  TOpCode F = ocLit;
  uint8_t L = 0;
  int64_t A = 0;
  bool operator==(const TInstruction&) const = default;
};

using TInstructions = std::vector<TInstruction>;

// "MNEMONIC L, A", for example "JPC 0, 0" or "LIT 0, 1000". Opcodes outside
// the set are shown as "???".
std::string ListInstruction(const TInstruction& instruction);

// One listing line per instruction.
std::vector<std::string> ListCode(const TInstructions& code);

}  // namespace vesperon
