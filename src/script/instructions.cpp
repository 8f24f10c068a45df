#include "script/instructions.h"

namespace vesperon {
namespace {

constexpr const char* kMnemonics[kOpCodeCount] = {
    "LIT", "OPR", "LOD", "STO", "CAL", "INT", "EXT",
    "JMP", "JPC", "LOG", "ALC", "FRE", "GTR", "STR",
};

}  // namespace

int TypeCodeOf(TVarType type) {
  switch (type) {
    case vtInteger: return tcInteger;
    case vtBoolean: return tcBoolean;
    case vtDouble: return tcDouble;
    case vtString: return tcString;
    default: return -1;
  }
}

std::string ListInstruction(const TInstruction& instruction) {
  const char* mnemonic = instruction.F < kOpCodeCount ? kMnemonics[instruction.F] : "???";
  return std::string(mnemonic) + " " + std::to_string(instruction.L) + ", " +
         std::to_string(instruction.A);
}

std::vector<std::string> ListCode(const TInstructions& code) {
  std::vector<std::string> lines;
  lines.reserve(code.size());
  for (const TInstruction& instruction : code) lines.push_back(ListInstruction(instruction));
  return lines;
}

}  // namespace vesperon
