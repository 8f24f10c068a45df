// The compiler: golden listings of the code it emits, and its messages with
// their line numbers and counting.
#include "script/compiler.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "script_test_support.h"

namespace vesperon {
namespace {

std::string ReadData(const std::string& name) {
  std::ifstream in(std::string(VESPERON_TEST_DATA) + "/script/golden/" + name, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<std::string> ReadLines(const std::string& name) {
  std::istringstream in(ReadData(name));
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// Each golden source compiles without a message to the listing beside it.
class ScriptGolden : public ::testing::TestWithParam<const char*> {};

TEST_P(ScriptGolden, CompilesToItsListing) {
  const std::string name = GetParam();
  const std::string source = ReadData(name + ".scr");
  ASSERT_FALSE(source.empty());
  TLogCapture log;
  TScriptCompiler compiler;
  EXPECT_TRUE(compiler.CompileModule(source));
  EXPECT_EQ(ListCode(compiler.Code()), ReadLines(name + ".lst"));
  EXPECT_TRUE(log.Errors().empty()) << log.Errors().front();
  EXPECT_TRUE(log.Warnings().empty());
}

INSTANTIATE_TEST_SUITE_P(Listings, ScriptGolden,
                         ::testing::Values("empty", "onsong", "ontime", "ifchain", "while",
                                           "function", "slots", "operators"));

TEST(ScriptCompiler, OnsongIsTwentyTwoInstructionsAndNamesTheModule) {
  TScriptCompiler compiler;
  ASSERT_TRUE(compiler.CompileModule(ReadData("onsong.scr")));
  EXPECT_EQ(compiler.Code().size(), 22u);
  EXPECT_EQ(compiler.ModuleName(), "ONSONG");
}

TEST(ScriptCompiler, LogscriptListsInstructionsAsGenerated) {
  TLogCapture log;
  gParams.LogScript = true;
  TScriptCompiler compiler;
  ASSERT_TRUE(compiler.CompileModule(ReadData("onsong.scr")));
  ASSERT_GE(log.Lines.size(), 22u);
  EXPECT_EQ(
      std::vector<std::string>(log.Lines.begin(), log.Lines.begin() + 5),
      (std::vector<std::string>{"JMP 0, 0", "INT 0, 3", "ALC 0, 7", "LIT 1, 6", "LIT 2, 108"}));
  log.Clear();
  ASSERT_TRUE(compiler.CompileModule("module m; begin log 1 end m;"));
  EXPECT_EQ(log.Lines,
            (std::vector<std::string>{"JMP 0, 0", "INT 0, 3", "LIT 0, 1", "LOG 0, 0", "JMP 0, 0"}));
}

TEST(ScriptCompiler, VariablesGetFrameCellsFromThree) {
  TScriptCompiler compiler;
  ASSERT_TRUE(compiler.CompileModule("module m; VAR INTEGER a, b; DOUBLE d; begin end m;"));
  const auto& idents = compiler.Idents();
  ASSERT_EQ(compiler.IdentCount(), 24);
  EXPECT_EQ(idents[21].Name, "A");
  EXPECT_EQ(idents[21].Adr, 3);
  EXPECT_EQ(idents[22].Adr, 4);
  EXPECT_EQ(idents[23].Adr, 5);
  EXPECT_EQ(idents[23].VarType, vtDouble);
  EXPECT_EQ(ListInstruction(compiler.Code()[1]), "INT 0, 6");
  // Entries 1 to 20 are the host functions, in their order.
  EXPECT_EQ(idents[1].Name, "GET_CURRENT_TIME");
  EXPECT_EQ(idents[20].Name, "SET_PROGRESSBAR_MAX");
  EXPECT_EQ(idents[20].Value, 19);
}

// Compiles `text` and returns the error and warning lines.
struct TCompiled {
  bool Ok;
  std::vector<std::string> Errors;
  std::vector<std::string> Warnings;
  TInstructions Code;
};

// A module around `body` whose last statement is followed by more symbols on
// its line: the lexer reads one character ahead, so an error found at the
// end of a line would carry the next line's number.
std::string Body(const std::string& body, const std::string& declarations = "") {
  return ModuleText(body + " ; ;", declarations);
}

TCompiled Compile(const std::string& text) {
  TLogCapture log;
  TScriptCompiler compiler;
  const bool ok = compiler.CompileModule(text);
  return {ok, log.Errors(), log.Warnings(), compiler.Code()};
}

bool Has(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

TEST(ScriptCompilerMessages, WarningsDoNotFailTheCompilation) {
  TCompiled c = Compile("module m; begin end n;");
  EXPECT_TRUE(c.Ok);
  EXPECT_EQ(c.Warnings,
            (std::vector<std::string>{"WARNING: Script: Line 1: Warning: Module ID <> End ID"}));
  c = Compile("module m;\r\nbegin\r\nend m;\r\nx");
  EXPECT_TRUE(c.Ok);
  EXPECT_EQ(
      c.Warnings,
      (std::vector<std::string>{"WARNING: Script: Line 4: Code after Module END is ignored!"}));
  EXPECT_EQ(c.Code.size(), 3u);
}

TEST(ScriptCompilerMessages, TypeErrorsCarryTheirLine) {
  TCompiled c = Compile(Body("a := 1.5", "var integer a;"));
  EXPECT_FALSE(c.Ok);
  EXPECT_EQ(c.Errors, (std::vector<std::string>{"ERROR: Script: Line 4: type missmatch"}));
  // The addition is still generated, with the left operand's type.
  c = Compile(Body("s := 1 + 'x'", "var integer s;"));
  EXPECT_EQ(c.Errors, (std::vector<std::string>{"ERROR: Script: Line 4: type missmatch"}));
  EXPECT_TRUE(std::find(c.Code.begin(), c.Code.end(), TInstruction{ocOpr, 0, opAdd}) !=
              c.Code.end());
  // A refused operator generates nothing.
  c = Compile(Body("x := 'a' * 'b'", "var string x;"));
  EXPECT_EQ(
      c.Errors,
      (std::vector<std::string>{"ERROR: Script: Line 4: operator not available for this type"}));
  for (const TInstruction& in : c.Code) EXPECT_NE(in.F == ocOpr ? in.A : -1, opMultiply);
}

TEST(ScriptCompilerMessages, ExpectedListsNameWhatWasFound) {
  TCompiled c = Compile(Body("if b then x := 1 end", "var boolean b; integer x;"));
  EXPECT_FALSE(c.Ok);
  ASSERT_FALSE(c.Errors.empty());
  EXPECT_EQ(c.Errors[0],
            "ERROR: Script: Line 4: =, <, >, >=, <=, !=, AND, OR, XOR expected, := found instead");
  c = Compile("module m;\r\nCONST c = -1;\r\nbegin end m;");
  ASSERT_FALSE(c.Errors.empty());
  EXPECT_EQ(c.Errors[0],
            "ERROR: Script: Line 2: Integer Value, Double Value, Boolean Value, String Value "
            "expected, - found instead");
  c = Compile("module m; var x; begin end m;");
  ASSERT_FALSE(c.Errors.empty());
  EXPECT_EQ(
      c.Errors[0],
      "ERROR: Script: Line 1: Integer, Double, Boolean, String expected, Identifier found instead");
  c = Compile(Body("log )"));
  ASSERT_FALSE(c.Errors.empty());
  EXPECT_EQ(c.Errors[0],
            "ERROR: Script: Line 4: Identifier, Integer Value, Boolean Value, Double Value, String "
            "Value, ( expected, ) "
            "found instead");
  c = Compile(Body("a 5", "var integer a;"));
  ASSERT_FALSE(c.Errors.empty());
  EXPECT_EQ(c.Errors[0], "ERROR: Script: Line 4: :=, ->, <- expected, Integer Value found instead");
}

TEST(ScriptCompilerMessages, EveryBranchNeedsItsEnd) {
  EXPECT_TRUE(Compile(Body("if a = 1 then a := 2 end elseif a = 2 then a := 3 end else a := 4 end",
                           "var integer a;"))
                  .Ok);
  const TCompiled c = Compile(
      Body("if a = 1 then a := 2 elseif a = 2 then a := 3 end else a := 4 end", "var integer a;"));
  EXPECT_FALSE(c.Ok);
  ASSERT_FALSE(c.Errors.empty());
  EXPECT_EQ(c.Errors[0], "ERROR: Script: Line 4: END expected, ELSEIF found instead");
}

TEST(ScriptCompilerMessages, ConstantsAndUnknownIdentifiers) {
  TCompiled c = Compile("module m; CONST s = 'x'; begin end m;");
  EXPECT_FALSE(c.Ok);
  EXPECT_EQ(c.Errors,
            (std::vector<std::string>{"ERROR: script: Line 1: no support for constant strings"}));
  c = Compile(Body("c := 2", "const c = 1;"));
  ASSERT_FALSE(c.Errors.empty());
  EXPECT_EQ(c.Errors[0], "ERROR: Script: Line 4: No constant allowed here");
  c = Compile(Body("nothing := 2"));
  ASSERT_GE(c.Errors.size(), 2u);
  EXPECT_EQ(c.Errors[0], "ERROR: Script: Line 4: Unknown Identifier \"NOTHING\"");
  EXPECT_EQ(c.Errors[1], "ERROR: Script: Line 4: No constant allowed here");
  // In a factor the unknown name reads as 0.
  c = Compile(Body("log nothing"));
  EXPECT_EQ(c.Errors, (std::vector<std::string>{"ERROR: Script: 4: Unknown Identifier"}));
  EXPECT_EQ(ListInstruction(c.Code[2]), "LIT 0, 0");
}

TEST(ScriptCompilerMessages, HostCallArgumentsAreTypeChecked) {
  TCompiled c = Compile(Body("SET_TEXT('l', 5)"));
  ASSERT_FALSE(c.Errors.empty());
  EXPECT_EQ(c.Errors[0], "ERROR: Script: Line 4: type missmatch: String expected");
  c = Compile(Body("INTTOSTR('x')"));
  EXPECT_EQ(c.Errors,
            (std::vector<std::string>{"ERROR: Script: Line 4: type missmatch: Integer expected"}));
  c = Compile(Body("s := INTTOSTR('x')", "var string s;"));
  EXPECT_EQ(c.Errors,
            (std::vector<std::string>{"ERROR: Script: Line 4: type missmatch: Integer expected"}));
  c = Compile(Body("SET_VISIBLE('b', 1)"));
  EXPECT_EQ(c.Errors,
            (std::vector<std::string>{"ERROR: Script: Line 4: type missmatch: Boolean expected"}));
}

TEST(ScriptCompilerMessages, ReservedWordsAndFunctionEnds) {
  TCompiled c = Compile(Body("GETMEM"));
  ASSERT_FALSE(c.Errors.empty());
  EXPECT_EQ(c.Errors[0], "ERROR: Script: Line 4: END expected, GETMEM found instead");
  c = Compile("module m;\r\nfunction f : integer;\r\nbegin f := 1 end g;\r\nbegin end m;");
  EXPECT_EQ(
      c.Errors,
      (std::vector<std::string>{"ERROR: script: Line 3: Functionend F expected, but G found"}));
  c = Compile(Body("if a and a then end", "var integer a;"));
  EXPECT_FALSE(c.Ok);
}

TEST(ScriptCompilerMessages, UnexpectedCharactersAreReportedButNotCounted) {
  const TCompiled c = Compile("module m;\r\nbegin\r\n  log 1 #\r\nend m;");
  EXPECT_TRUE(c.Ok);
  EXPECT_EQ(c.Errors, (std::vector<std::string>{"ERROR: 3: Unexpected Char Found"}));
}

TEST(ScriptCompilerMessages, BadNumbersAndDeepNestingAbandonTheCompilation) {
  const std::string unhandled =
      "ERROR: an unhandled error occured during the compilation of a script!";
  TCompiled c = Compile(Body("log 2147483648"));
  EXPECT_FALSE(c.Ok);
  EXPECT_EQ(c.Errors, (std::vector<std::string>{unhandled}));
  c = Compile(Body("log " + std::string(5000, '(') + "1" + std::string(5000, ')')));
  EXPECT_FALSE(c.Ok);
  EXPECT_TRUE(Has(c.Errors, unhandled));
  std::string nested;
  for (int i = 0; i < 3000; ++i) nested += "begin ";
  c = Compile(Body(nested));
  EXPECT_FALSE(c.Ok);
  EXPECT_TRUE(Has(c.Errors, unhandled));
}

TEST(ScriptCompilerMessages, LongStringLiteralsAreRefused) {
  TCompiled c = Compile(Body("log '" + std::string(254, 'x') + "'"));
  EXPECT_TRUE(c.Ok);
  EXPECT_EQ(ListInstruction(c.Code[c.Code.size() - 3]), "LIT 255, 120");
  c = Compile(Body("log '" + std::string(255, 'x') + "'"));
  EXPECT_FALSE(c.Ok);
  EXPECT_EQ(c.Errors, (std::vector<std::string>{
                          "ERROR: Script: Line 4: string literal longer than 254 characters"}));
}

TEST(ScriptCompiler, OwnIdentifiersHideHostFunctions) {
  TCompiled c = Compile(Body("get_title := 3; log get_title", "var integer get_title;"));
  EXPECT_TRUE(c.Ok);
  for (const TInstruction& in : c.Code) EXPECT_NE(in.F, ocExt);
}

TEST(ScriptCompiler, DuplicateModuleNamesInOneOwnerFail) {
  TLogCapture log;
  TScriptModules modules;
  EXPECT_EQ(modules.Add("module a; begin end a;").ErrorCount(), 0);
  TScriptengine& second = modules.Add("module A; begin end a;");
  EXPECT_EQ(second.Name(), "");
  EXPECT_EQ(log.Errors(),
            (std::vector<std::string>{
                "ERROR: an unhandled error occured during the compilation of a script!"}));
  // Recompiling an engine under its own name is no duplicate.
  TScriptengine& first = modules[0];
  EXPECT_TRUE(first.CompileModule("module a; begin log 1 end a;"));
}

}  // namespace
}  // namespace vesperon
