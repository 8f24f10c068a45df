// The interpreter: programs whose LOG output is checked, hand-made code, and
// every run-time failure stopping the run cleanly.
#include "script/interpreter.h"

#include <gtest/gtest.h>

#include <bit>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "script_test_support.h"

namespace vesperon {
namespace {

struct TRun {
  bool Compiled;
  bool Ran;
  std::vector<std::string> Output;  // "log: " lines
  std::vector<std::string> Errors;
};

TRun CompileAndRun(const std::string& text, uint64_t limit = kDefaultInstructionLimit) {
  TLogCapture log;
  TScriptengine engine;
  const bool compiled = engine.CompileModule(text);
  engine.SetInstructionLimit(limit);
  const bool ran = engine.Run();
  return {compiled, ran, log.LogOutput(), log.Errors()};
}

std::vector<std::string> Output(const std::string& body, const std::string& declarations = "") {
  const TRun run = CompileAndRun(ModuleText(body, declarations));
  EXPECT_TRUE(run.Compiled);
  EXPECT_TRUE(run.Ran);
  EXPECT_TRUE(run.Errors.empty()) << run.Errors.front();
  return run.Output;
}

std::string One(const std::string& body, const std::string& declarations = "") {
  const std::vector<std::string> lines = Output(body, declarations);
  return lines.size() == 1 ? lines[0] : "(" + std::to_string(lines.size()) + " lines)";
}

TEST(ScriptRun, Arithmetic) {
  EXPECT_EQ(One("LOG 1 + 2"), "log: 3");
  EXPECT_EQ(One("LOG 7 / 2"), "log: 3");
  EXPECT_EQ(One("LOG 7 MOD 2"), "log: 1");
  EXPECT_EQ(One("LOG 0 - 7 MOD 2"), "log: -1");
  EXPECT_EQ(One("LOG 0 - 7 / 2"), "log: -3");
  EXPECT_EQ(One("LOG (0 - 7) MOD 2"), "log: -1");
  EXPECT_EQ(One("LOG -5 * 3"), "log: -15");
  EXPECT_EQ(One("LOG $FF AND 15 OR 256"), "log: 271");
  EXPECT_EQ(One("LOG 6 XOR 3"), "log: 5");
  // 64-bit cells: products beyond 32 bits, and wrap-around instead of a trap.
  EXPECT_EQ(One("LOG 2147483647 * 2147483647"), "log: 4611686014132420609");
  EXPECT_EQ(
      Output("x := 1073741824 * 1073741824 * 8; LOG x; LOG x / (0 - 1); LOG x MOD (0 - 1); LOG -x",
             "var integer x;"),
      (std::vector<std::string>{"log: -9223372036854775808", "log: -9223372036854775808", "log: 0",
                                "log: -9223372036854775808"}));
}

TEST(ScriptRun, DoublesBooleansAndStrings) {
  EXPECT_EQ(One("LOG 1.5 * 2.0"), "log: 3");
  EXPECT_EQ(One("LOG -2.5"), "log: -2.5");
  EXPECT_EQ(One("LOG 1.0 / 3.0"), "log: 0.333333333333333");
  EXPECT_EQ(One("LOG 100000000000000.0 * 10.0"), "log: 1E15");
  EXPECT_EQ(One("LOG 1.0 / 100000.0"), "log: 0.00001");
  EXPECT_EQ(One("LOG 1.5 / 10000000.0"), "log: 1.5E-7");
  EXPECT_EQ(One("LOG 1.0 / 0.0"), "log: INF");
  EXPECT_EQ(One("LOG TRUE XOR FALSE"), "log: TRUE");
  EXPECT_EQ(One("LOG NOT TRUE"), "log: FALSE");
  EXPECT_EQ(One("LOG TRUE AND FALSE OR TRUE"), "log: TRUE");
  EXPECT_EQ(One("LOG 'ab' + 'cd'"), "log: abcd");
  EXPECT_EQ(One("LOG ''"), "log: ");
  EXPECT_EQ(One("LOG 'caf\xe9'"), "log: caf\xc3\xa9");
}

TEST(ScriptRun, ConcatenationLengthensTheLeftBlockInPlace) {
  EXPECT_EQ(Output("s := 'ab'; t := s + 'c'; LOG s; LOG t", "var string s, t;"),
            (std::vector<std::string>{"log: abc", "log: abc"}));
  // A literal on the left is a fresh block on every evaluation.
  EXPECT_EQ(Output("i := 0; WHILE i < 3 DO s := '-' + INTTOSTR(i); i := i + 1 END; LOG s",
                   "var string s; integer i;"),
            (std::vector<std::string>{"log: -2"}));
  // A string added to itself.
  EXPECT_EQ(One("s := 'ab'; s := s + s; LOG s + s", "var string s;"), "log: abababab");
}

TEST(ScriptRun, ComparisonsOfDoublesAndStringsGoByValue) {
  const std::string declarations = "var integer r;";
  auto holds = [&](const std::string& condition) {
    return One("r := 0; IF " + condition + " THEN r := 1 END; LOG r", declarations) == "log: 1";
  };
  EXPECT_TRUE(holds("1.5 < 2.5"));
  EXPECT_TRUE(holds("-1.5 < 1.0"));
  EXPECT_TRUE(holds("-2.0 < -1.0"));
  EXPECT_FALSE(holds("-1.0 < -2.0"));
  EXPECT_TRUE(holds("-0.0 = 0.0"));
  EXPECT_TRUE(holds("'ab' = 'ab'"));
  EXPECT_TRUE(holds("'ab' < 'b'"));
  EXPECT_FALSE(holds("'ab' != 'a' + 'b'"));
  EXPECT_TRUE(holds("0 - 2 < 0 - 1"));
  EXPECT_TRUE(holds("TRUE = TRUE"));
}

TEST(ScriptRun, IfChainsAndLoops) {
  const std::string declarations = "var integer a, r;";
  const std::string chain =
      "IF a = 1 THEN r := 10 END ELSEIF a = 2 THEN r := 20 END ELSEIF a = 3 THEN r := 30 END ELSE "
      "r := 0 END; LOG r";
  for (int a = 0; a <= 3; ++a) {
    EXPECT_EQ(One("a := " + std::to_string(a) + "; " + chain, declarations),
              "log: " + std::to_string(a * 10));
  }
  EXPECT_EQ(One("a := 0; r := 0; WHILE a < 100 DO a := a + 1; IF a MOD 2 = 0 THEN r := r + a END "
                "END; LOG r",
                declarations),
            "log: 2550");
}

TEST(ScriptRun, FunctionsRecurseAndReadOuterVariables) {
  const std::string fact =
      "var integer n;\r\n"
      "function fact : integer;\r\n"
      "  var integer k;\r\n"
      "begin\r\n"
      "  if n = 0 then fact := 1 end else k := n; n := n - 1; fact := k * fact end\r\n"
      "end fact;";
  EXPECT_EQ(One("n := 10; LOG fact", fact), "log: 3628800");
  // The value last assigned in this call wins over what the inner call returned.
  const std::string depth =
      "var integer d;\r\n"
      "function f : integer;\r\n"
      "begin\r\n"
      "  f := d; d := d - 1;\r\n"
      "  if d > 0 then log f end\r\n"
      "end f;";
  EXPECT_EQ(Output("d := 3; LOG f", depth),
            (std::vector<std::string>{"log: 1", "log: 2", "log: 3"}));
  // A nested function reads and writes the variables of every enclosing block.
  const std::string nested =
      "var integer g;\r\n"
      "function outer : string;\r\n"
      "  var integer o;\r\n"
      "  function inner : integer;\r\n"
      "    var integer i;\r\n"
      "  begin i := 5; o := o + i; g := g + 1; inner := o * 2 end inner;\r\n"
      "begin o := 1; log inner; log o; outer := 'done' end outer;";
  EXPECT_EQ(Output("g := 0; LOG outer; LOG g", nested),
            (std::vector<std::string>{"log: 12", "log: 6", "log: done", "log: 1"}));
  // A bare call runs the function and loads nothing.
  EXPECT_EQ(Output("n := 3; fact; LOG n", fact), (std::vector<std::string>{"log: 0"}));
}

TEST(ScriptRun, SharedSlotsOutliveRunsAndPassBetweenModules) {
  ClearSharedSlots();
  TLogCapture log;
  TScriptengine writer;
  TScriptengine reader;
  ASSERT_TRUE(
      writer.CompileModule(ModuleText("i := 42; i -> 3; s := 'tune'; s -> 4; d := 2.5; d -> 31",
                                      "var integer i; string s; double d;")));
  ASSERT_TRUE(reader.CompileModule(ModuleText("i <- 3; s <- 4; d <- 31; LOG i; LOG s + '!'; LOG d",
                                              "var integer i; string s; double d;")));
  ASSERT_TRUE(writer.Run());
  ASSERT_TRUE(reader.Run());
  ASSERT_TRUE(reader.Run());
  EXPECT_EQ(log.LogOutput(), (std::vector<std::string>{"log: 42", "log: tune!", "log: 2.5",
                                                       "log: 42", "log: tune!", "log: 2.5"}));
  EXPECT_EQ(SharedSlot(4), (std::vector<int64_t>{'t', 'u', 'n', 'e'}));
}

// ---- Hand-made code ----

TInstructions Code(std::initializer_list<TInstruction> instructions) {
  return TInstructions(instructions);
}

TEST(ScriptMachine, MainBlockReservesItsCells) {
  const TRunResult result =
      RunInstructions(Code({{ocJmp, 0, 1}, {ocInt, 0, 3}, {ocJmp, 0, 0}}), {});
  EXPECT_TRUE(result.Ok);
  EXPECT_EQ(result.Top, 3);
  EXPECT_EQ(result.Executed, 3u);
}

TEST(ScriptMachine, StoreLeavesTheValueAndRecallReplacesTheSlotNumber) {
  ClearSharedSlots();
  TRunResult result = RunInstructions(Code({{ocJmp, 0, 1},
                                            {ocInt, 0, 3},
                                            {ocLit, 0, 42},
                                            {ocLit, 0, 3},
                                            {ocStr, 0, tcInteger},
                                            {ocJmp, 0, 0}}),
                                      {});
  EXPECT_TRUE(result.Ok);
  EXPECT_EQ(result.Top, 4);
  EXPECT_EQ(SharedSlot(3), (std::vector<int64_t>{42}));
  TLogCapture log;
  result = RunInstructions(
      Code({{ocLit, 0, 3}, {ocGtr, 0, tcInteger}, {ocLog, 0, tcInteger}, {ocJmp, 0, 0}}), {});
  EXPECT_TRUE(result.Ok);
  EXPECT_EQ(log.LogOutput(), (std::vector<std::string>{"log: 42"}));
  // Another type code leaves everything as it is.
  result = RunInstructions(Code({{ocLit, 0, 3}, {ocGtr, 0, 9}, {ocJmp, 0, 0}}), {});
  EXPECT_EQ(result.Top, 1);
}

TEST(ScriptMachine, UnknownOperationsAndOpcodesEndTheRun) {
  TLogCapture log;
  TRunResult result = RunInstructions(
      Code({{ocLit, 0, 1}, {ocLit, 0, 1}, {ocOpr, 0, 7}, {ocLog, 0, 0}, {ocJmp, 0, 0}}), {});
  EXPECT_FALSE(result.Ok);
  EXPECT_TRUE(result.Error.empty());
  result =
      RunInstructions(Code({{static_cast<TOpCode>(99), 0, 0}, {ocLog, 0, 0}, {ocJmp, 0, 0}}), {});
  EXPECT_FALSE(result.Ok);
  EXPECT_EQ(log.Errors(), (std::vector<std::string>{"ERROR: script: unknown operand!",
                                                    "ERROR: script: unknown opcode"}));
  EXPECT_TRUE(log.LogOutput().empty());
}

TEST(ScriptMachine, OperationsOnOtherTypesOnlyDropTheRightOperand) {
  TLogCapture log;
  const TRunResult result = RunInstructions(Code({{ocLit, 0, 7},
                                                  {ocLit, 0, 2},
                                                  {ocOpr, tcBoolean, opSubtract},
                                                  {ocLit, 0, 5},
                                                  {ocOpr, tcString, opNegate},
                                                  {ocOpr, tcBoolean, opAdd},
                                                  {ocLog, 0, tcInteger},
                                                  {ocJmp, 0, 0}}),
                                            {});
  EXPECT_TRUE(result.Ok);
  EXPECT_EQ(log.LogOutput(), (std::vector<std::string>{"log: 7"}));
}

// Every run-time failure stops the run with a message naming the module.
struct TFailureCase {
  const char* Declarations;
  const char* Body;
  const char* Message;
};

class ScriptFailure : public ::testing::TestWithParam<TFailureCase> {};

TEST_P(ScriptFailure, StopsTheRunCleanly) {
  ClearSharedSlots();
  const TFailureCase& c = GetParam();
  const TRun run = CompileAndRun(ModuleText(c.Body, c.Declarations), 1'000'000);
  EXPECT_TRUE(run.Compiled);
  EXPECT_FALSE(run.Ran);
  EXPECT_EQ(run.Errors, (std::vector<std::string>{std::string("ERROR: script error in module T: ") +
                                                  c.Message}));
}

INSTANTIATE_TEST_SUITE_P(
    Failures, ScriptFailure,
    ::testing::Values(
        TFailureCase{"var integer a;", "a := 0; LOG 1 / a", "division by zero"},
        TFailureCase{"var integer a;", "a := 0; LOG 1 MOD a", "modulo by zero"},
        TFailureCase{"", "WHILE 1 = 1 DO END", "more than 1000000 instructions executed"},
        TFailureCase{"function f : integer; begin f := f + 1 end f;", "LOG f", "stack overflow"},
        TFailureCase{"var integer i;", "i <- 5", "shared slot 5 is empty"},
        TFailureCase{"var integer i;", "i := 7; i -> 32", "shared slot 32 out of range"},
        TFailureCase{"var integer i;", "i <- 0 - 1", "shared slot -1 out of range"},
        TFailureCase{"var string s;", "LOG s", "invalid string handle 0"},
        TFailureCase{"var string s; integer i;", "s := 'x'; i := 0; WHILE 1 = 1 DO s := s + s END",
                     "out of string memory"}));

TEST(ScriptMachine, TheDefaultLimitStopsAnEndlessLoop) {
  const TRun run = CompileAndRun(ModuleText("WHILE 1 = 1 DO END"));
  EXPECT_FALSE(run.Ran);
  EXPECT_EQ(run.Errors,
            (std::vector<std::string>{
                "ERROR: script error in module T: more than 50000000 instructions executed"}));
}

// Comparing a string of 2^16 cells is one instruction but counts 4096, so
// a loop over long strings ends after a few hundred passes instead of
// running for minutes within the limit.
TEST(ScriptMachine, LongStringsCountAgainstTheLimit) {
  ClearSharedSlots();
  const TRun run = CompileAndRun(
      ModuleText("s := 'ab'; i := 0; WHILE i < 15 DO s := s + s; i := i + 1 END; t := s + 'x'; "
                 "i := 0; WHILE i >= 0 DO IF s = t THEN LOG i END; i := i + 1; i -> 1 END",
                 "var string s, t; integer i;"),
      1'000'000);
  EXPECT_FALSE(run.Ran);
  EXPECT_EQ(run.Errors,
            (std::vector<std::string>{
                "ERROR: script error in module T: more than 1000000 instructions executed"}));
  const auto passes = SharedSlot(1);
  ASSERT_TRUE(passes);
  EXPECT_GT(passes->at(0), 200);
  EXPECT_LT(passes->at(0), 250);  // 1,000,000 / 4096 at most
  // Short strings cost nothing extra: "ab" + "ab" is one instruction.
  const TRunResult result = RunInstructions(Code({{ocAlc, 0, 3},
                                                  {ocLit, 1, 2},
                                                  {ocLit, 2, 'a'},
                                                  {ocLit, 3, 'b'},
                                                  {ocAlc, 0, 3},
                                                  {ocLit, 1, 2},
                                                  {ocLit, 2, 'a'},
                                                  {ocLit, 3, 'b'},
                                                  {ocOpr, tcString, opAdd},
                                                  {ocJmp, 0, 0}}),
                                            {});
  EXPECT_TRUE(result.Ok) << result.Error;
  EXPECT_EQ(result.Executed, 10u);
}

TEST(ScriptMachine, BrokenCodeFailsInsteadOfRunningWild) {
  const TScriptHost none;
  EXPECT_EQ(RunInstructions(Code({{ocLit, 0, 1}}), none).Error,
            "the code ended without returning to address 0");
  EXPECT_EQ(RunInstructions(Code({{ocJmp, 0, 5}}), none).Error, "jump target 5 outside the code");
  EXPECT_EQ(RunInstructions(Code({{ocOpr, 0, opAdd}}), none).Error, "stack underflow");
  EXPECT_EQ(RunInstructions(Code({{ocInt, 0, 1025}}), none).Error, "stack overflow");
  EXPECT_EQ(RunInstructions(Code({{ocInt, 0, -1}}), none).Error, "stack underflow");
  EXPECT_EQ(RunInstructions(Code({{ocLod, 0, 5000}}), none).Error, "stack cell out of range");
  EXPECT_EQ(RunInstructions(Code({{ocLit, 0, 5000}, {ocLod, 3, 2}}), none).Error,
            "stack cell out of range");
  EXPECT_EQ(RunInstructions(Code({{ocAlc, 0, 2}, {ocLit, 3, 1}}), none).Error,
            "cell index out of range in a string block");
  EXPECT_EQ(RunInstructions(Code({{ocAlc, 0, -1}}), none).Error, "invalid block size -1");
  EXPECT_EQ(RunInstructions(Code({{ocFre, 0, 0}}), none).Error, "invalid string handle 0");
  EXPECT_EQ(RunInstructions(Code({{ocExt, 0, 20}}), none).Error, "unknown host function 20");
  EXPECT_EQ(RunInstructions(Code({{ocLit, 0, 0}, {ocLog, 0, tcString}}), none).Error,
            "invalid string handle 0");
  // Frames whose return address or dynamic link were overwritten.
  EXPECT_EQ(RunInstructions(Code({{ocInt, 0, 3},
                                  {ocCal, 0, 3},
                                  {ocJmp, 0, 0},
                                  {ocLit, 0, 99999},
                                  {ocSto, 0, 2},
                                  {ocOpr, 0, opReturn}}),
                            none)
                .Error,
            "return address 99999 outside the code");
  EXPECT_EQ(RunInstructions(Code({{ocInt, 0, 3},
                                  {ocCal, 0, 3},
                                  {ocJmp, 0, 0},
                                  {ocLit, 0, 99999},
                                  {ocSto, 0, 1},
                                  {ocOpr, 0, opReturn}}),
                            none)
                .Error,
            "stack cell out of range");
}

TEST(ScriptMachine, ALimitOfZeroLiftsTheLimit) {
  const TRun run = CompileAndRun(
      ModuleText("i := 0; WHILE i < 20000000 DO i := i + 1 END; LOG i", "var integer i;"), 0);
  EXPECT_TRUE(run.Ran);
  EXPECT_EQ(run.Output, (std::vector<std::string>{"log: 20000000"}));
}

TEST(ScriptMachine, FusedLoopStepsBehaveLikeThePlainOnes) {
  // "lod, lit, add, sto" runs as one step; a jump into its middle runs the
  // plain instructions, and the limit still counts every instruction.
  const TInstructions code = Code({{ocJmp, 0, 1},
                                   {ocInt, 0, 4},
                                   {ocLod, 0, 3},
                                   {ocLit, 0, 5},
                                   {ocOpr, 0, opAdd},
                                   {ocSto, 0, 3},
                                   {ocLod, 0, 3},
                                   {ocLit, 0, 20},
                                   {ocOpr, 0, opLess},
                                   {ocJpc, 0, 12},
                                   {ocLod, 0, 3},
                                   {ocJmp, 0, 3},
                                   {ocLod, 0, 3},
                                   {ocLog, 0, tcInteger},
                                   {ocJmp, 0, 0}});
  TLogCapture log;
  TRunResult result = RunInstructions(code, {});
  EXPECT_TRUE(result.Ok);
  // 0+5 at the fused step, then +5 three times through the jump into it.
  EXPECT_EQ(log.LogOutput(), (std::vector<std::string>{"log: 20"}));
  EXPECT_EQ(result.Executed, 2u + 4u + 4u + 3u * (2u + 3u + 4u) + 3u);
  for (uint64_t limit = 1; limit < result.Executed; ++limit) {
    const TRunResult stopped = RunInstructions(code, {}, limit);
    EXPECT_EQ(stopped.Executed, limit);
    EXPECT_EQ(stopped.Error, "more than " + std::to_string(limit) + " instructions executed");
  }
}

// ---- A machine kept between runs ----

// Logs every cell of the stack, from S[1] up: a run that should see a
// cleared stack logs 1024 zeros.
TInstructions ReadEveryCell() {
  TInstructions code;
  for (int64_t cell = 0; cell < kStackSize; ++cell) {
    code.push_back({ocLod, 0, cell});
    code.push_back({ocLog, 0, tcInteger});
  }
  code.push_back({ocJmp, 0, 0});
  return code;
}

// Runs `writer` then the reader on one kept machine: the reader must see
// only zeros, and the writer must fare as on a new machine.
void ExpectClearedAfter(TScriptMachine& kept, const TInstructions& writer,
                        uint64_t limit = kDefaultInstructionLimit) {
  TLogCapture log;
  const auto writerCode = DecodeInstructions(writer);
  TScriptMachine fresh({}, limit);
  const TRunResult expected = fresh.Run(*writerCode);
  kept.Configure({}, limit);
  const TRunResult got = kept.Run(*writerCode);
  EXPECT_EQ(got.Ok, expected.Ok);
  EXPECT_EQ(got.Error, expected.Error);
  EXPECT_EQ(got.Top, expected.Top);
  EXPECT_EQ(got.Executed, expected.Executed);
  const size_t written = log.LogOutput().size();
  kept.Configure({}, kDefaultInstructionLimit);
  static const auto reader = DecodeInstructions(ReadEveryCell());
  EXPECT_TRUE(kept.Run(*reader).Ok);
  const std::vector<std::string> lines = log.LogOutput();
  ASSERT_EQ(lines.size(), written + kStackSize);
  for (size_t k = written; k < lines.size(); ++k)
    ASSERT_EQ(lines[k], "log: 0") << "cell " << k - written + 1;
}

// A kept machine clears only the cells the last run may have written; a
// cell written any way at all (pushed, stored far above the top, pushed
// by a host function, left by a run that failed or hit its limit) reads 0
// in the next run.
TEST(ScriptMachine, AKeptMachineStartsEveryRunFromAClearedStack) {
  TScriptMachine kept({}, kDefaultInstructionLimit);
  // A store far above a small stack.
  ExpectClearedAfter(
      kept, Code({{ocJmp, 0, 1}, {ocInt, 0, 3}, {ocLit, 0, 22}, {ocSto, 0, 1000}, {ocJmp, 0, 0}}));
  // The same from a called procedure, through its static link.
  ExpectClearedAfter(kept, Code({{ocJmp, 0, 1},
                                 {ocInt, 0, 3},
                                 {ocCal, 0, 4},
                                 {ocJmp, 0, 0},
                                 {ocInt, 0, 3},
                                 {ocLit, 0, 7},
                                 {ocSto, 1, 1000},
                                 {ocOpr, 0, opReturn}}));
  // A large frame reserved, then its top cell written in place.
  ExpectClearedAfter(kept,
                     Code({{ocJmp, 0, 1}, {ocInt, 0, 200}, {ocOpr, 0, opNot}, {ocJmp, 0, 0}}));
  // A string handle pushed by a host function just above a reserved frame.
  ExpectClearedAfter(
      kept, Code({{ocJmp, 0, 1}, {ocAlc, 0, 1}, {ocInt, 0, 499}, {ocExt, 0, 3}, {ocJmp, 0, 0}}));
  // The fused compare-and-jump and add-and-store steps, which write past
  // the top, just above a reserved frame; the store also far above it.
  ExpectClearedAfter(kept, Code({{ocJmp, 0, 1},
                                 {ocInt, 0, 500},
                                 {ocLod, 0, 0},
                                 {ocLit, 0, 0},
                                 {ocOpr, 0, opEqual},
                                 {ocJpc, 0, 6},
                                 {ocJmp, 0, 0}}));
  ExpectClearedAfter(kept, Code({{ocJmp, 0, 1},
                                 {ocInt, 0, 500},
                                 {ocLod, 0, 0},
                                 {ocLit, 0, 5},
                                 {ocOpr, 0, opAdd},
                                 {ocSto, 0, 900},
                                 {ocJmp, 0, 0}}));
  // Pushing without end: stopped by the limit, then by the stack's end.
  const TInstructions loop = Code({{ocJmp, 0, 1}, {ocLit, 0, 9}, {ocJmp, 0, 1}});
  ExpectClearedAfter(kept, loop, 600);
  ExpectClearedAfter(kept, loop);
  // Calls nested until the stack ends: every frame writes three cells.
  ExpectClearedAfter(kept, Code({{ocJmp, 0, 1}, {ocLit, 0, 3}, {ocCal, 0, 1}}));
}

// Random code (most of it failing somewhere) on one kept machine: each run
// behaves as on a new machine, and leaves nothing behind.
TEST(ScriptMachine, AKeptMachineRunsRandomCodeLikeANewOne) {
  std::mt19937 random(20261208);
  TScriptMachine kept({}, kDefaultInstructionLimit);
  const auto cell = [&] { return static_cast<int64_t>(random() % kStackSize); };
  for (int program = 0; program < 150; ++program) {
    TInstructions code = Code({{ocJmp, 0, 1}});
    const int length = 1 + static_cast<int>(random() % 40);
    for (int k = 0; k < length; ++k) {
      switch (random() % 8) {
        case 0: code.push_back({ocLit, 0, 1 + cell()}); break;
        case 1: code.push_back({ocInt, 0, cell() - 100}); break;
        case 2: code.push_back({ocSto, 0, cell()}); break;
        case 3: code.push_back({ocLod, 0, cell()}); break;
        case 4: code.push_back({ocOpr, 0, opAdd}); break;
        case 5: code.push_back({ocAlc, 0, 2}); break;
        case 6: code.push_back({ocExt, 0, 9}); break;
        default: code.push_back({ocCal, 0, static_cast<int64_t>(code.size()) + 1}); break;
      }
    }
    code.push_back({ocJmp, 0, 0});
    ExpectClearedAfter(kept, code, 1 + random() % 200);
  }
}

TEST(ScriptMachine, ModulesRunWhetherOrNotTheyCompiled) {
  const TRun run = CompileAndRun(ModuleText("LOG 1; x := 2; LOG 3"));
  EXPECT_FALSE(run.Compiled);
  EXPECT_EQ(run.Output, (std::vector<std::string>{"log: 1"}));
}

TEST(ScriptMachine, LogscriptFramesTheRun) {
  TLogCapture log;
  gParams.LogScript = true;
  TScriptengine engine;
  ASSERT_TRUE(engine.CompileModule("module m; begin log 'x' end m;"));
  log.Clear();
  EXPECT_TRUE(engine.Run());
  EXPECT_EQ(log.Lines,
            (std::vector<std::string>{"script: interpreting code", "log: x", "script: Done..."}));
}

// Every input the fuzzer found troublesome compiles and runs cleanly now.
TEST(ScriptMachine, FuzzFindingsStayFixed) {
  const std::filesystem::path dir =
      std::filesystem::path(VESPERON_TEST_DATA) / "fuzz/fuzz_script_compile_run";
  if (!std::filesystem::exists(dir)) GTEST_SKIP() << "no fuzz inputs";
  TLogCapture log;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(dir)) {
    if (!entry.is_regular_file()) continue;
    std::ifstream in(entry.path(), std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    TScriptengine engine;
    engine.SetInstructionLimit(1'000'000);
    engine.CompileModule(text.str());
    engine.Run();
  }
}

}  // namespace
}  // namespace vesperon
