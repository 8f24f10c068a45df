#include "script/interpreter.h"

#include <bit>
#include <cmath>
#include <cstdio>

#include "core/idle_path.h"
#include "core/log.h"
#include "core/params.h"
#include "core/text.h"
#include "script/host_functions.h"

namespace vesperon {

// What a decoded instruction does. The opr operations are split by type, so
// the dispatch needs no second switch; two fused kinds run the loop idioms
// "lod, lit, compare, jpc" and "lod, lit, arithmetic, sto" in one step.
// clang-format off
enum TDecodedKind : uint8_t {
  kLitPush, kLitCell, kLod0, kLod, kSto0, kSto, kCal, kInt, kExt, kJmp, kJpc, kLog, kAlc,
  kFre, kGtr, kStr,
  kReturn, kNegI, kNegD, kNop, kAddI, kAddD, kAddS, kDropRight, kSubI, kSubD, kMulI, kMulD,
  kDivI, kDivD, kModI,
  kEqRaw, kNeRaw, kLtRaw, kGtRaw, kGeRaw, kLeRaw,
  kEqD, kNeD, kLtD, kGtD, kGeD, kLeD,
  kEqS, kNeS, kLtS, kGtS, kGeS, kLeS,
  kAndBits, kOrBits, kXorBits, kAndB, kOrB, kXorB, kNot,
  kUnknownOpr, kUnknownOpcode, kBadJump, kEndOfCode,
  kCmpJumpEq, kCmpJumpNe, kCmpJumpLt, kCmpJumpGt, kCmpJumpGe, kCmpJumpLe,
  kArithStoreAdd, kArithStoreSub, kArithStoreMul,
  kKindCount
};
// clang-format on

namespace {

// Frame offsets of lod0/sto0 are kept small so that B + A cannot overflow.
constexpr int64_t kMaxFrameOffset = 2 * kStackSize;
// The cells a run may write without raising its dirty mark: every run
// clears at least these.
constexpr int64_t kCleanCells = 64;

// The dirty mark raised so that cell `needed` lies under it, doubled so
// that a run growing its stack raises it only a few times.
int64_t RaisedDirtyMark(int64_t mark, int64_t needed) {
  return std::min(kStackSize, std::max(needed, 2 * mark));
}

}  // namespace

struct TDecodedOp {
  TDecodedKind Kind = kEndOfCode;
  uint8_t L = 0;
  int64_t A = 0;
  int64_t K = 0;       // the literal of a fused op
  int64_t X = 0;       // the jump target or destination cell of a fused op
  int64_t Cont = 0;    // where a fused op goes on
  uint64_t Extra = 0;  // instructions a fused op runs beyond the one dispatched
};

struct TDecodedCode {
  std::vector<TDecodedOp> Ops;    // one per instruction, then the end-of-code sentinel
  std::vector<TDecodedOp> Plain;  // the same without fused ops, for their slow path
};

namespace {

TDecodedKind ComparisonKind(int64_t operation, uint8_t type) {
  const int offset = static_cast<int>(operation - opEqual);
  if (type == tcDouble) return static_cast<TDecodedKind>(kEqD + offset);
  if (type == tcString) return static_cast<TDecodedKind>(kEqS + offset);
  return static_cast<TDecodedKind>(kEqRaw + offset);
}

TDecodedKind OperationKind(int64_t operation, uint8_t type) {
  const bool isInt = type == tcInteger;
  const bool isDouble = type == tcDouble;
  switch (operation) {
    case opReturn: return kReturn;
    case opNegate: return isInt ? kNegI : isDouble ? kNegD : kNop;
    case opAdd: return isInt ? kAddI : isDouble ? kAddD : type == tcString ? kAddS : kDropRight;
    case opSubtract: return isInt ? kSubI : isDouble ? kSubD : kDropRight;
    case opMultiply: return isInt ? kMulI : isDouble ? kMulD : kDropRight;
    case opDivide: return isInt ? kDivI : isDouble ? kDivD : kDropRight;
    case opEqual:
    case opUnequal:
    case opLess:
    case opGreater:
    case opGreaterEqual:
    case opLessEqual: return ComparisonKind(operation, type);
    case opAnd: return isInt || isDouble ? kAndBits : type == tcBoolean ? kAndB : kDropRight;
    case opOr: return isInt || isDouble ? kOrBits : type == tcBoolean ? kOrB : kDropRight;
    case opXor: return isInt || isDouble ? kXorBits : type == tcBoolean ? kXorB : kDropRight;
    case opNot: return kNot;
    case opModulo: return kModI;
    default: return kUnknownOpr;
  }
}

TDecodedKind JumpKind(TDecodedKind kind, int64_t target, int64_t count) {
  return target >= 0 && target < count ? kind : kBadJump;
}

TDecodedOp DecodeOne(const TInstruction& in, int64_t count) {
  TDecodedOp op;
  op.L = in.L;
  op.A = in.A;
  const bool nearCell = in.L == 0 && in.A >= -kMaxFrameOffset && in.A <= kMaxFrameOffset;
  switch (in.F) {
    case ocLit: op.Kind = in.L == 0 ? kLitPush : kLitCell; break;
    case ocOpr: op.Kind = OperationKind(in.A, in.L); break;
    case ocLod: op.Kind = nearCell ? kLod0 : kLod; break;
    case ocSto: op.Kind = nearCell ? kSto0 : kSto; break;
    case ocCal: op.Kind = JumpKind(kCal, in.A, count); break;
    case ocInt: op.Kind = kInt; break;
    case ocExt: op.Kind = kExt; break;
    case ocJmp: op.Kind = JumpKind(kJmp, in.A, count); break;
    case ocJpc: op.Kind = JumpKind(kJpc, in.A, count); break;
    case ocLog: op.Kind = kLog; break;
    case ocAlc: op.Kind = kAlc; break;
    case ocFre: op.Kind = kFre; break;
    case ocGtr: op.Kind = kGtr; break;
    case ocStr: op.Kind = kStr; break;
    default: op.Kind = kUnknownOpcode; break;
  }
  return op;
}

bool IsIntComparison(TDecodedKind kind) { return kind >= kEqRaw && kind <= kLeRaw; }
bool IsIntArithmetic(TDecodedKind kind) { return kind == kAddI || kind == kSubI || kind == kMulI; }

// Fuses "lod0 a; lit k; compare; jpc x" and "lod0 a; lit k; add/sub/mul;
// sto0 d" into one op at the first instruction. The instructions after it
// keep their plain ops, so a jump into the middle still works.
void Fuse(std::vector<TDecodedOp>& ops) {
  for (size_t i = 0; i + 3 < ops.size(); ++i) {
    const TDecodedOp& load = ops[i];
    const TDecodedOp& literal = ops[i + 1];
    const TDecodedOp& operation = ops[i + 2];
    const TDecodedOp& last = ops[i + 3];
    if (load.Kind != kLod0 || literal.Kind != kLitPush) continue;
    const bool compareJump = IsIntComparison(operation.Kind) && last.Kind == kJpc;
    const bool arithStore = IsIntArithmetic(operation.Kind) && last.Kind == kSto0;
    if (!compareJump && !arithStore) continue;
    TDecodedOp fused;
    if (compareJump) fused.Kind = static_cast<TDecodedKind>(kCmpJumpEq + (operation.Kind - kEqRaw));
    else
      fused.Kind = operation.Kind == kAddI   ? kArithStoreAdd
                   : operation.Kind == kSubI ? kArithStoreSub
                                             : kArithStoreMul;
    fused.A = load.A;
    fused.K = literal.A;
    fused.X = last.A;
    fused.Cont = static_cast<int64_t>(i) + 4;
    fused.Extra = 3;
    ops[i] = fused;
  }
  // A jmp to a fused op (the end of a WHILE loop) runs that op itself.
  for (TDecodedOp& op : ops) {
    if (op.Kind != kJmp || op.A == 0) continue;
    const TDecodedOp& target = ops[static_cast<size_t>(op.A)];
    // Only fused ops of the first pass: a copy made here would count wrong.
    if (target.Kind < kCmpJumpEq || target.Kind > kArithStoreMul || target.Extra != 3) continue;
    op = TDecodedOp(target);
    op.Extra = 4;
  }
}

int64_t Wrap(uint64_t value) { return static_cast<int64_t>(value); }
double AsDouble(int64_t cell) { return std::bit_cast<double>(cell); }
int64_t FromDouble(double value) { return std::bit_cast<int64_t>(value); }

bool RawComparison(TDecodedKind kind, int64_t a, int64_t b) {
  switch (kind) {
    case kEqRaw: return a == b;
    case kNeRaw: return a != b;
    case kLtRaw: return a < b;
    case kGtRaw: return a > b;
    case kGeRaw: return a >= b;
    default: return a <= b;
  }
}

bool DoubleComparison(TDecodedKind kind, double a, double b) {
  switch (kind) {
    case kEqD: return a == b;
    case kNeD: return a != b;
    case kLtD: return a < b;
    case kGtD: return a > b;
    case kGeD: return a >= b;
    default: return a <= b;
  }
}

// -1, 0 or 1 as the texts compare cell by cell.
int CompareTexts(const int64_t* a, int64_t na, const int64_t* b, int64_t nb) {
  for (int64_t i = 0; i < na && i < nb; ++i) {
    if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
  }
  return na < nb ? -1 : na > nb ? 1 : 0;
}

bool TextComparison(TDecodedKind kind, int order) {
  switch (kind) {
    case kEqS: return order == 0;
    case kNeS: return order != 0;
    case kLtS: return order < 0;
    case kGtS: return order > 0;
    case kGeS: return order >= 0;
    default: return order <= 0;
  }
}

std::array<std::optional<std::vector<int64_t>>, kSharedSlotCount>& SharedSlots() {
  static std::array<std::optional<std::vector<int64_t>>, kSharedSlotCount> slots;
  return slots;
}

[[noreturn]] void Fail(const std::string& message) { throw TScriptRunError(message); }

}  // namespace

std::shared_ptr<const TDecodedCode> DecodeInstructions(const TInstructions& code) {
  auto decoded = std::make_shared<TDecodedCode>();
  const auto count = static_cast<int64_t>(code.size());
  decoded->Plain.reserve(code.size() + 1);
  for (const TInstruction& in : code) decoded->Plain.push_back(DecodeOne(in, count));
  decoded->Plain.push_back(TDecodedOp{});  // kEndOfCode
  decoded->Ops = decoded->Plain;
  Fuse(decoded->Ops);
  return decoded;
}

std::string FormatDouble(double value) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
  if (value == 0) return "0";
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.14e", value);
  const std::string text = buffer;
  const bool negative = text[0] == '-';
  const size_t start = negative ? 1 : 0;
  std::string digits = text.substr(start, 1) + text.substr(start + 2, 14);
  const int exponent = std::stoi(text.substr(text.find('e') + 1));
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
  std::string out = negative ? "-" : "";
  if (exponent >= -5 && exponent < 15) {
    if (exponent < 0) return out + "0." + std::string(-exponent - 1, '0') + digits;
    const size_t whole = static_cast<size_t>(exponent) + 1;
    if (digits.size() <= whole) return out + digits + std::string(whole - digits.size(), '0');
    return out + digits.substr(0, whole) + "." + digits.substr(whole);
  }
  out += digits.substr(0, 1);
  if (digits.size() > 1) out += "." + digits.substr(1);
  return out + "E" + std::to_string(exponent);
}

void ClearSharedSlots() {
  for (auto& slot : SharedSlots()) slot.reset();
}

std::optional<std::vector<int64_t>> SharedSlot(int index) {
  if (index < 0 || index >= kSharedSlotCount) return std::nullopt;
  return SharedSlots()[index];
}

struct TScriptMachine::TState {
  TScriptHost Host;
  uint64_t Limit = 0;
  // S[1] .. S[1024]; S[0] unused. Cleared by every run, not here: the
  // machine of a module run on every slow tick is kept between runs.
  std::array<int64_t, kStackSize + 1> S;
  int64_t T = 0;
  // Every cell above this one is zero. A run clears S[0..Dirty] only, not
  // the whole stack, and raises the mark before it writes above it. It
  // starts at the top: a new machine's stack is not cleared yet.
  int64_t Dirty = kStackSize;
  std::vector<std::vector<int64_t>> Blocks;
  int64_t CellsUsed = 0;

  void Charge(int64_t cells) {
    if (cells > kMaxRunCells - CellsUsed) Fail("out of string memory");
    CellsUsed += cells;
  }

  std::vector<int64_t>& Block(int64_t handle) {
    if (handle < 0 || handle >= static_cast<int64_t>(Blocks.size()))
      Fail("invalid string handle " + std::to_string(handle));
    return Blocks[static_cast<size_t>(handle)];
  }

  // The length of a string block, checked against the cells it has.
  int64_t Length(const std::vector<int64_t>& block) {
    const int64_t size = static_cast<int64_t>(block.size());
    if (size == 0 || block[0] < 0 || block[0] > size - 1)
      Fail("cell index out of range in a string block");
    return block[0];
  }

  int64_t Allocate(int64_t cells) {
    if (cells < 0) Fail("invalid block size " + std::to_string(cells));
    Charge(cells + 4);
    Blocks.emplace_back(static_cast<size_t>(cells), 0);
    return static_cast<int64_t>(Blocks.size()) - 1;
  }

  // Returns the cells copied.
  int64_t Concatenate(int64_t left, int64_t right) {
    const int64_t n2 = Length(Block(right));
    std::vector<int64_t>& target = Block(left);
    const int64_t n1 = Length(target);
    const int64_t needed = 1 + n1 + n2;
    if (needed > static_cast<int64_t>(target.size())) {
      Charge(needed - static_cast<int64_t>(target.size()));
      target.resize(static_cast<size_t>(needed));
    }
    // Reads the right block after resizing: left and right may be one block.
    const std::vector<int64_t>& source = Blocks[static_cast<size_t>(right)];
    for (int64_t k = 1; k <= n2; ++k)
      target[static_cast<size_t>(n1 + k)] = source[static_cast<size_t>(k)];
    target[0] = n1 + n2;
    return n2;
  }

  // The order of the two texts; `cells` is set to the cells compared at most.
  int CompareStrings(int64_t left, int64_t right, int64_t& cells) {
    const std::vector<int64_t>& a = Block(left);
    const std::vector<int64_t>& b = Block(right);
    cells = std::min(Length(a), Length(b));
    return CompareTexts(a.data() + 1, Length(a), b.data() + 1, Length(b));
  }

  std::string Text(int64_t handle) {
    const std::vector<int64_t>& block = Block(handle);
    const int64_t n = std::min<int64_t>(Length(block), 255);
    std::string text;
    for (int64_t k = 1; k <= n; ++k)
      text += static_cast<char>(block[static_cast<size_t>(k)] & 0xFF);
    return text;
  }

  std::string LogText(int64_t cell, int64_t typeCode) {
    switch (typeCode) {
      case tcInteger: return std::to_string(cell);
      case tcBoolean: return cell != 0 ? "TRUE" : "FALSE";
      case tcDouble: return FormatDouble(AsDouble(cell));
      case tcString: return Utf16ToUtf8(Cp1252ToUtf16(Text(cell)));
      default: return "";
    }
  }

  // Kept out of the dispatch loop: a computed goto may not leave the scope of
  // a string.
  void LogValue(int64_t cell, int64_t typeCode) { Log("log: " + LogText(cell, typeCode)); }

  std::vector<int64_t>& Slot(int64_t number) {
    if (number < 0 || number >= kSharedSlotCount)
      Fail("shared slot " + std::to_string(number) + " out of range");
    auto& slot = SharedSlots()[static_cast<size_t>(number)];
    if (!slot) slot.emplace();
    return *slot;
  }

  // str: the value beneath the slot number goes into the slot; the number is popped.
  // Returns the cells copied.
  int64_t Store(int64_t typeCode) {
    if (typeCode < tcInteger || typeCode > tcString) return 0;
    if (T < 2) Fail("stack underflow");
    const int64_t value = S[T - 1];
    const int64_t number = S[T];
    if (number < 0 || number >= kSharedSlotCount)
      Fail("shared slot " + std::to_string(number) + " out of range");
    std::vector<int64_t> content;
    if (typeCode == tcString) {
      const std::vector<int64_t>& block = Block(value);
      content.assign(block.begin() + 1, block.begin() + 1 + Length(block));
    } else {
      content.push_back(value);
    }
    const auto cells = static_cast<int64_t>(content.size());
    Slot(number) = std::move(content);
    --T;
    return cells;
  }

  // gtr: the slot number on top is replaced by the slot's value.
  // Returns the cells copied.
  int64_t Recall(int64_t typeCode) {
    if (typeCode < tcInteger || typeCode > tcString) return 0;
    if (T < 1) Fail("stack underflow");
    const int64_t number = S[T];
    if (number < 0 || number >= kSharedSlotCount)
      Fail("shared slot " + std::to_string(number) + " out of range");
    const auto& slot = SharedSlots()[static_cast<size_t>(number)];
    if (!slot) Fail("shared slot " + std::to_string(number) + " is empty");
    if (typeCode != tcString) {
      if (slot->empty()) Fail("shared slot " + std::to_string(number) + " holds no value");
      S[T] = slot->front();
      return 0;
    }
    const std::vector<int64_t> content = *slot;
    const int64_t handle = Allocate(static_cast<int64_t>(content.size()) + 1);
    std::vector<int64_t>& block = Blocks[static_cast<size_t>(handle)];
    block[0] = static_cast<int64_t>(content.size());
    std::copy(content.begin(), content.end(), block.begin() + 1);
    S[T] = handle;
    return static_cast<int64_t>(content.size());
  }
};

TScriptMachine::TScriptMachine(const TScriptHost& host, uint64_t instructionLimit)
    : State(std::make_unique_for_overwrite<TState>()) {
  Configure(host, instructionLimit);
}

VESPERON_IDLE_PATH void TScriptMachine::Configure(const TScriptHost& host,
                                                  uint64_t instructionLimit) {
  State->Host = host;
  State->Limit = instructionLimit;
}

TScriptMachine::~TScriptMachine() = default;

int64_t TScriptMachine::Pop() {
  if (State->T < 1) Fail("stack underflow");
  return State->S[static_cast<size_t>(State->T--)];
}

VESPERON_IDLE_PATH void TScriptMachine::Push(int64_t value) {
  if (State->T >= kStackSize) Fail("stack overflow");
  ++State->T;
  State->Dirty = std::max(State->Dirty, State->T);
  State->S[static_cast<size_t>(State->T)] = value;
}

std::string TScriptMachine::PopString() { return State->Text(Pop()); }

void TScriptMachine::PushString(std::string_view text) {
  const std::string_view cut = text.substr(0, 255);
  const int64_t handle = State->Allocate(static_cast<int64_t>(cut.size()) + 1);
  std::vector<int64_t>& block = State->Blocks[static_cast<size_t>(handle)];
  block[0] = static_cast<int64_t>(cut.size());
  for (size_t k = 0; k < cut.size(); ++k) block[k + 1] = static_cast<unsigned char>(cut[k]);
  Push(handle);
}

VESPERON_IDLE_PATH TRunResult TScriptMachine::Run(const TDecodedCode& code) {
  TState& st = *State;
  TRunResult result;
  const TDecodedOp* const ops = code.Ops.data();
  const TDecodedOp* const plain = code.Plain.data();
  const int64_t count = static_cast<int64_t>(code.Ops.size()) - 1;
  int64_t* const S = st.S.data();
  std::fill_n(S, st.Dirty + 1, int64_t{0});
  // The highest cell this run may have written (see TState::Dirty): kept
  // in a local while the run goes on, and stored when it ends.
  int64_t dirty = kCleanCells;
  st.Blocks.clear();
  st.CellsUsed = 0;
  int64_t t = 0;
  int64_t b = 1;
  const TDecodedOp* ip = ops;
  const TDecodedOp* op = nullptr;
  const uint64_t limit = st.Limit == 0 ? UINT64_MAX : st.Limit;
  uint64_t remaining = limit;

  // The dispatch table and the labelled handlers below are laid out by hand
  // (clang-format would move the labels' braces and regroup the table).
  // clang-format off
  static void* const kLabels[kKindCount] = {
      &&L_LitPush, &&L_LitCell, &&L_Lod0, &&L_Lod, &&L_Sto0, &&L_Sto, &&L_Cal, &&L_Int, &&L_Ext,
      &&L_Jmp, &&L_Jpc, &&L_Log, &&L_Alc, &&L_Fre, &&L_Gtr, &&L_Str,
      &&L_Return, &&L_NegI, &&L_NegD, &&L_Nop, &&L_AddI, &&L_AddD, &&L_AddS, &&L_DropRight,
      &&L_SubI, &&L_SubD, &&L_MulI, &&L_MulD, &&L_DivI, &&L_DivD, &&L_ModI,
      &&L_CmpRaw, &&L_CmpRaw, &&L_CmpRaw, &&L_CmpRaw, &&L_CmpRaw, &&L_CmpRaw,
      &&L_CmpD, &&L_CmpD, &&L_CmpD, &&L_CmpD, &&L_CmpD, &&L_CmpD,
      &&L_CmpS, &&L_CmpS, &&L_CmpS, &&L_CmpS, &&L_CmpS, &&L_CmpS,
      &&L_AndBits, &&L_OrBits, &&L_XorBits, &&L_AndB, &&L_OrB, &&L_XorB, &&L_Not,
      &&L_UnknownOpr, &&L_UnknownOpcode, &&L_BadJump, &&L_EndOfCode,
      &&L_CmpJumpEq, &&L_CmpJumpNe, &&L_CmpJumpLt, &&L_CmpJumpGt, &&L_CmpJumpGe, &&L_CmpJumpLe,
      &&L_ArithStoreAdd, &&L_ArithStoreSub, &&L_ArithStoreMul,
  };

#define DISPATCH()                       \
  do {                                   \
    if (remaining == 0) goto L_Limit;    \
    --remaining;                         \
    op = ip++;                           \
    goto* kLabels[op->Kind];             \
  } while (0)
#define NEED(n) \
  if (t < (n)) goto L_Underflow
// Room for n more cells; raises the dirty mark, by doubling, when the
// cells lie above it.
#define ROOM(n)                                   \
  if (t > dirty - (n)) {                          \
    if (t > kStackSize - (n)) goto L_Overflow;    \
    dirty = RaisedDirtyMark(dirty, t + (n));      \
  }
#define CELL_OK(i) (static_cast<uint64_t>((i) - 1) < static_cast<uint64_t>(kStackSize))
#define JUMP(target)               \
  do {                             \
    if ((target) == 0) goto L_End; \
    ip = ops + (target);           \
  } while (0)
// A string operation costs one instruction more for every
// kCellsPerInstruction cells it copies or compares.
#define CHARGE(cells)                                                               \
  do {                                                                              \
    const uint64_t cost = static_cast<uint64_t>(cells) / kCellsPerInstruction;      \
    if (cost > remaining) {                                                         \
      remaining = 0;                                                                \
      goto L_Limit;                                                                 \
    }                                                                               \
    remaining -= cost;                                                              \
  } while (0)
#define SYNC() (st.T = t, st.Dirty = dirty)
#define RELOAD() (t = st.T, dirty = st.Dirty)
#define BINARY_INT(expr)  \
  NEED(2);                \
  {                       \
    const int64_t y = S[t]; \
    const int64_t x = S[--t]; \
    S[t] = (expr);        \
  }                       \
  DISPATCH()
#define BINARY_DOUBLE(expr)               \
  NEED(2);                                \
  {                                       \
    const double y = AsDouble(S[t]);      \
    const double x = AsDouble(S[--t]);    \
    S[t] = FromDouble(expr);              \
  }                                       \
  DISPATCH()

  try {
    DISPATCH();

  L_LitPush:
    ROOM(1);
    S[++t] = op->A;
    DISPATCH();
  L_LitCell: {
    NEED(1);
    std::vector<int64_t>& block = st.Block(S[t]);
    const size_t cell = static_cast<size_t>(op->L) - 1;
    if (cell >= block.size()) Fail("cell index out of range in a string block");
    block[cell] = op->A;
    DISPATCH();
  }
  L_Lod0: {
    ROOM(1);
    const int64_t index = b + op->A;
    if (!CELL_OK(index)) goto L_CellRange;
    S[t + 1] = S[index];
    ++t;
    DISPATCH();
  }
  L_Sto0: {
    NEED(1);
    const int64_t index = b + op->A;
    if (!CELL_OK(index)) goto L_CellRange;
    dirty = std::max(dirty, index);
    S[index] = S[t--];
    DISPATCH();
  }
  L_Lod:
  L_Sto: {
    int64_t base = b;
    for (int level = 0; level < op->L; ++level) {
      if (!CELL_OK(base)) goto L_CellRange;
      base = S[base];
    }
    if (!CELL_OK(base)) goto L_CellRange;
    int64_t index = 0;
    if (__builtin_add_overflow(base, op->A, &index) || !CELL_OK(index)) goto L_CellRange;
    if (op->Kind == kLod) {
      ROOM(1);
      S[++t] = S[index];
    } else {
      NEED(1);
      dirty = std::max(dirty, index);
      S[index] = S[t--];
    }
    DISPATCH();
  }
  L_Cal: {
    ROOM(3);
    int64_t base = b;
    for (int level = 0; level < op->L; ++level) {
      if (!CELL_OK(base)) goto L_CellRange;
      base = S[base];
    }
    S[t + 1] = base;
    S[t + 2] = b;
    S[t + 3] = ip - ops;
    b = t + 1;
    JUMP(op->A);
    DISPATCH();
  }
  L_Return: {
    if (b + 2 > kStackSize) goto L_CellRange;
    t = b - 1;
    const int64_t address = S[t + 3];
    const int64_t caller = S[t + 2];
    if (address == 0) goto L_End;
    if (address < 0 || address >= count) Fail("return address " + std::to_string(address) + " outside the code");
    if (!CELL_OK(caller)) goto L_CellRange;
    b = caller;
    ip = ops + address;
    DISPATCH();
  }
  L_Int:
    if (op->A > kStackSize - t) goto L_Overflow;
    if (op->A < -t) goto L_Underflow;
    t += op->A;
    dirty = std::max(dirty, t);
    DISPATCH();
  L_Ext:
    SYNC();
    CallHostFunction(op->A, *this, st.Host);
    RELOAD();
    DISPATCH();
  L_Jmp:
    JUMP(op->A);
    DISPATCH();
  L_Jpc:
    NEED(1);
    if (S[t--] == 0) JUMP(op->A);
    DISPATCH();
  L_Log:
    NEED(1);
    SYNC();
    st.LogValue(S[t], op->A);
    --t;
    DISPATCH();
  L_Alc: {
    ROOM(1);
    const int64_t handle = st.Allocate(op->A);
    S[++t] = handle;
    DISPATCH();
  }
  L_Fre: {
    std::vector<int64_t>& block = st.Block(op->A);
    st.CellsUsed -= static_cast<int64_t>(block.size());
    std::vector<int64_t>().swap(block);
    DISPATCH();
  }
  L_Gtr: {
    SYNC();
    const int64_t cells = st.Recall(op->A);
    RELOAD();
    CHARGE(cells);
    DISPATCH();
  }
  L_Str: {
    SYNC();
    const int64_t cells = st.Store(op->A);
    RELOAD();
    CHARGE(cells);
    DISPATCH();
  }
  L_NegI:
    NEED(1);
    S[t] = Wrap(0 - static_cast<uint64_t>(S[t]));
    DISPATCH();
  L_NegD:
    NEED(1);
    S[t] = FromDouble(-AsDouble(S[t]));
    DISPATCH();
  L_Nop:
    DISPATCH();
  L_AddI:
    BINARY_INT(Wrap(static_cast<uint64_t>(x) + static_cast<uint64_t>(y)));
  L_AddD:
    BINARY_DOUBLE(x + y);
  L_AddS: {
    NEED(2);
    SYNC();
    const int64_t cells = st.Concatenate(S[t - 1], S[t]);
    --t;
    CHARGE(cells);
    DISPATCH();
  }
  L_DropRight:
    NEED(2);
    --t;
    DISPATCH();
  L_SubI:
    BINARY_INT(Wrap(static_cast<uint64_t>(x) - static_cast<uint64_t>(y)));
  L_SubD:
    BINARY_DOUBLE(x - y);
  L_MulI:
    BINARY_INT(Wrap(static_cast<uint64_t>(x) * static_cast<uint64_t>(y)));
  L_MulD:
    BINARY_DOUBLE(x * y);
  L_DivI:
    NEED(2);
    if (S[t] == 0) Fail("division by zero");
    BINARY_INT(y == -1 ? Wrap(0 - static_cast<uint64_t>(x)) : x / y);
  L_DivD:
    BINARY_DOUBLE(x / y);
  L_ModI:
    NEED(2);
    if (S[t] == 0) Fail("modulo by zero");
    BINARY_INT(y == -1 ? 0 : x % y);
  L_CmpRaw:
    BINARY_INT(RawComparison(op->Kind, x, y) ? 1 : 0);
  L_CmpD:
    NEED(2);
    {
      const bool holds = DoubleComparison(op->Kind, AsDouble(S[t - 1]), AsDouble(S[t]));
      S[--t] = holds ? 1 : 0;
    }
    DISPATCH();
  L_CmpS:
    NEED(2);
    {
      SYNC();
      int64_t cells = 0;
      const bool holds = TextComparison(op->Kind, st.CompareStrings(S[t - 1], S[t], cells));
      S[--t] = holds ? 1 : 0;
      CHARGE(cells);
    }
    DISPATCH();
  L_AndBits:
    BINARY_INT(x & y);
  L_OrBits:
    BINARY_INT(x | y);
  L_XorBits:
    BINARY_INT(x ^ y);
  L_AndB:
    BINARY_INT((x != 0 && y != 0) ? 1 : 0);
  L_OrB:
    BINARY_INT((x != 0 || y != 0) ? 1 : 0);
  L_XorB:
    BINARY_INT(((x != 0) != (y != 0)) ? 1 : 0);
  L_Not:
    NEED(1);
    S[t] = S[t] == 0 ? 1 : 0;
    DISPATCH();
#define CMP_JUMP(label, cmp)                                                   \
  label : {                                                                    \
    const int64_t index = b + op->A;                                           \
    if (t > dirty - 2 || !CELL_OK(index) || remaining < op->Extra) goto L_SlowPath; \
    remaining -= op->Extra;                                                    \
    const bool holds = S[index] cmp op->K;                                     \
    S[t + 1] = holds ? 1 : 0;                                                  \
    S[t + 2] = op->K;                                                          \
    ip = ops + op->Cont;                                                       \
    if (!holds) JUMP(op->X);                                                   \
    DISPATCH();                                                                \
  }
    CMP_JUMP(L_CmpJumpEq, ==)
    CMP_JUMP(L_CmpJumpNe, !=)
    CMP_JUMP(L_CmpJumpLt, <)
    CMP_JUMP(L_CmpJumpGt, >)
    CMP_JUMP(L_CmpJumpGe, >=)
    CMP_JUMP(L_CmpJumpLe, <=)
#undef CMP_JUMP
#define ARITH_STORE(label, expr)                                                                    \
  label : {                                                                                         \
    const int64_t index = b + op->A;                                                                \
    const int64_t target = b + op->X;                                                               \
    if (t > dirty - 2 || !CELL_OK(index) || !CELL_OK(target) || target > dirty || remaining < op->Extra) goto L_SlowPath; \
    remaining -= op->Extra;                                                                         \
    const uint64_t x = static_cast<uint64_t>(S[index]);                                             \
    const uint64_t y = static_cast<uint64_t>(op->K);                                                \
    const int64_t value = Wrap(expr);                                                               \
    S[t + 1] = value;                                                                               \
    S[t + 2] = op->K;                                                                               \
    S[target] = value;                                                                              \
    ip = ops + op->Cont;                                                                            \
    DISPATCH();                                                                                     \
  }
    ARITH_STORE(L_ArithStoreAdd, x + y)
    ARITH_STORE(L_ArithStoreSub, x - y)
    ARITH_STORE(L_ArithStoreMul, x * y)
#undef ARITH_STORE
  L_SlowPath:
    // A fused op whose fast path does not apply runs its first plain op.
    op = plain + (op - ops);
    goto* kLabels[op->Kind];
  L_UnknownOpr:
    LogError("script: unknown operand!");
    result.Ok = false;
    goto L_End;
  L_UnknownOpcode:
    LogError("script: unknown opcode");
    result.Ok = false;
    goto L_End;
  L_BadJump:
    Fail("jump target " + std::to_string(op->A) + " outside the code");
  L_EndOfCode:
    Fail("the code ended without returning to address 0");
  L_Limit:
    Fail("more than " + std::to_string(limit) + " instructions executed");
  L_Overflow:
    Fail("stack overflow");
  L_Underflow:
    Fail("stack underflow");
  L_CellRange:
    Fail("stack cell out of range");
  L_End:;
    st.Dirty = dirty;
  } catch (const TScriptRunError& error) {
    st.Dirty = std::max(dirty, st.Dirty);
    result.Ok = false;
    result.Error = error.what();
  } catch (...) {
    // Which cells were written is not known here: the next run clears all.
    st.Dirty = kStackSize;
    throw;
  }
#undef DISPATCH
#undef NEED
#undef ROOM
#undef CELL_OK
#undef JUMP
#undef CHARGE
#undef SYNC
#undef RELOAD
#undef BINARY_INT
#undef BINARY_DOUBLE

  result.Top = t;
  result.Executed = limit - remaining;
  st.Blocks.clear();
  st.CellsUsed = 0;
  return result;
}
// clang-format on

TRunResult RunInstructions(const TInstructions& code, const TScriptHost& host,
                           uint64_t instructionLimit) {
  const std::shared_ptr<const TDecodedCode> decoded = DecodeInstructions(code);
  TScriptMachine machine(host, instructionLimit);
  return machine.Run(*decoded);
}

}  // namespace vesperon
