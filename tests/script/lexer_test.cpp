// The lexer: symbols, literals, comments and line counting.
#include "script/lexer.h"

#include <gtest/gtest.h>

#include <vector>

#include "script_test_support.h"

namespace vesperon {
namespace {

std::vector<TSymbol> Symbols(std::string_view text, TScriptLexer* out = nullptr) {
  TScriptLexer lex;
  lex.Reset(text);
  std::vector<TSymbol> symbols;
  while (lex.Sym != sNone && symbols.size() < 100) {
    symbols.push_back(lex.Sym);
    lex.NextSymbol();
  }
  if (out != nullptr) *out = lex;
  return symbols;
}

using V = std::vector<TSymbol>;

TEST(ScriptLexer, OperatorsOfOneAndTwoCharacters) {
  EXPECT_EQ(Symbols("a<b"), (V{sIdent, sSmaller, sIdent}));
  EXPECT_EQ(Symbols("a< b"), (V{sIdent, sSmaller, sIdent}));
  EXPECT_EQ(Symbols("a <b"), (V{sIdent, sSmaller, sIdent}));
  EXPECT_EQ(Symbols("a<-b"), (V{sIdent, sRecall, sIdent}));
  EXPECT_EQ(Symbols("x->5"), (V{sIdent, sStore, sIntegerVal}));
  EXPECT_EQ(Symbols("x:=1"), (V{sIdent, sBecomes, sIntegerVal}));
  EXPECT_EQ(Symbols("x : 1"), (V{sIdent, sUnknown, sIntegerVal}));
  EXPECT_EQ(Symbols("! != <= >= > -= ;"), (V{sUnknown, sUnEqual, sSmallerEqual, sBiggerEqual,
                                             sBigger, sMinus, sEqual, sSemiColon}));
  EXPECT_EQ(Symbols("(a),.*/+"),
            (V{sOpenBracket, sIdent, sCloseBracket, sComma, sDot, sStar, sSlash, sPlus}));
}

TEST(ScriptLexer, WordsAreCaseInsensitiveAndKeywordsWin) {
  TScriptLexer lex;
  EXPECT_EQ(Symbols("get_Title", &lex), (V{sIdent}));
  EXPECT_EQ(lex.IdentName, "GET_TITLE");
  EXPECT_EQ(Symbols("module Module MODULE mod And elseif GetMem pointer"),
            (V{sModule, sModule, sModule, sModular, sAnd, sElseIf, sGetMem, sPointer}));
  lex.Reset("true");
  EXPECT_EQ(lex.Sym, sBooleanVal);
  EXPECT_TRUE(lex.BoolValue);
  lex.Reset("False");
  EXPECT_EQ(lex.Sym, sBooleanVal);
  EXPECT_FALSE(lex.BoolValue);
  // An identifier is cut to 255 characters.
  lex.Reset(std::string(300, 'a'));
  EXPECT_EQ(lex.IdentName, std::string(255, 'A'));
}

TEST(ScriptLexer, Numbers) {
  TScriptLexer lex;
  EXPECT_EQ(Symbols("-5"), (V{sMinus, sIntegerVal}));
  lex.Reset("1.5");
  EXPECT_EQ(lex.Sym, sDoubleVal);
  EXPECT_EQ(lex.DoubleValue, 1.5);
  EXPECT_EQ(Symbols("1.5e3", &lex), (V{sDoubleVal, sIdent}));
  EXPECT_EQ(lex.IdentName, "E3");
  lex.Reset("7.");
  EXPECT_EQ(lex.Sym, sDoubleVal);
  EXPECT_EQ(lex.DoubleValue, 7.0);
  for (const char* hex : {"$ff", "$FF", "$00ff"}) {
    lex.Reset(hex);
    EXPECT_EQ(lex.Sym, sIntegerVal);
    EXPECT_EQ(lex.IntValue, 255) << hex;
  }
  lex.Reset("2147483647");
  EXPECT_EQ(lex.IntValue, 2147483647);
  EXPECT_THROW(lex.Reset("2147483648"), TScriptCompileFailure);
  EXPECT_THROW(lex.Reset("$80000000"), TScriptCompileFailure);
  EXPECT_THROW(lex.Reset("$"), TScriptCompileFailure);
  EXPECT_THROW(lex.Reset("99999999999999999999999999"), TScriptCompileFailure);
}

TEST(ScriptLexer, StringLiteralsKeepTheirCaseAndHaveNoEscapes) {
  TScriptLexer lex;
  lex.Reset("'Hello World'");
  EXPECT_EQ(lex.Sym, sStringVal);
  EXPECT_EQ(lex.StringValue, "Hello World");
  EXPECT_EQ(Symbols("'it''s'", &lex), (V{sStringVal, sStringVal}));
  EXPECT_EQ(lex.StringValue, "s");
  EXPECT_EQ(Symbols("'x'then"), (V{sStringVal, sThen}));
  // A control character inside a literal reads as a blank.
  lex.Reset("'a\tb'");
  EXPECT_EQ(lex.StringValue, "a b");
  // An unterminated literal is abandoned: the symbol stays, the old value too.
  EXPECT_EQ(Symbols("'old' 'never closed", &lex), (V{sStringVal, sStringVal}));
  EXPECT_EQ(lex.StringValue, "old");
}

TEST(ScriptLexer, CommentsDoNotNestAndCloseOddly) {
  EXPECT_EQ(Symbols("(* a (* b *) c *)"), (V{sIdent, sStar, sCloseBracket}));
  EXPECT_EQ(Symbols("(* x *) y"), (V{sIdent}));
  EXPECT_EQ(Symbols("(**) y"), (V{}));
  EXPECT_EQ(Symbols("(* a **) y *) z"), (V{sIdent}));
  EXPECT_EQ(Symbols("(*) y *) z"), (V{sIdent}));
  EXPECT_EQ(Symbols("  \r\n (* only a comment *) \r\n"), (V{}));
  EXPECT_EQ(Symbols("(* runs to the end"), (V{}));
  EXPECT_EQ(Symbols("(a"), (V{sOpenBracket, sIdent}));
}

TEST(ScriptLexer, TheLastCharacterIsRead) {
  EXPECT_EQ(Symbols("end m;"), (V{sEnd, sIdent, sSemiColon}));
  EXPECT_EQ(Symbols("end m;\r\n"), (V{sEnd, sIdent, sSemiColon}));
  EXPECT_EQ(Symbols("end m."), (V{sEnd, sIdent, sDot}));
  EXPECT_EQ(Symbols("x"), (V{sIdent}));
  EXPECT_EQ(Symbols("7"), (V{sIntegerVal}));
}

TEST(ScriptLexer, LinesCountCarriageReturnsOnly) {
  TScriptLexer lex;
  lex.Reset("a\r\nb\r\nc");
  lex.NextSymbol();
  lex.NextSymbol();
  EXPECT_EQ(lex.Sym, sIdent);
  EXPECT_EQ(lex.Line, 3);
  lex.Reset("a\nb\nc");
  lex.NextSymbol();
  lex.NextSymbol();
  EXPECT_EQ(lex.Line, 1);
}

TEST(ScriptLexer, UnexpectedCharactersAreHandedOnOnceAndSkipped) {
  TScriptLexer lex;
  std::vector<int> lines;
  lex.OnUnexpectedChar = [&](int line) { lines.push_back(line); };
  lex.Reset("a\r\n# b \x80\"c");
  std::vector<TSymbol> symbols;
  while (lex.Sym != sNone) {
    symbols.push_back(lex.Sym);
    lex.NextSymbol();
  }
  EXPECT_EQ(symbols, (V{sIdent, sIdent, sIdent}));
  EXPECT_EQ(lines, (std::vector<int>{2, 2, 2}));
}

TEST(ScriptSymbols, TablesCoverEverySymbol) {
  EXPECT_EQ(SymbolDisplay(sModular), "mod");
  EXPECT_EQ(SymbolSpelling(sModular), "MOD");
  EXPECT_EQ(SymbolDisplay(sNone), "!none!");
  EXPECT_EQ(SymbolDisplay(sStringVal), "String Value");
  EXPECT_EQ(SymbolSpelling(sRecall), "<-");
  EXPECT_EQ(LookUpSpelling("TRUE"), sTrue);
  EXPECT_EQ(LookUpSpelling("FOO"), sIdent);
}

}  // namespace
}  // namespace vesperon
