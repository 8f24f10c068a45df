#include "script/symbols.h"

namespace vesperon {
namespace {

struct TSymbolText {
  std::string_view Spelling;
  std::string_view Display;
};

// One row per symbol, in the order of TSymbol.
constexpr TSymbolText kSymbols[kSymbolCount] = {
    {"", "Unknown"},
    {"", "Identifier"},
    {"INTEGER", "Integer"},
    {"BOOLEAN", "Boolean"},
    {"DOUBLE", "Double"},
    {"STRING", "String"},
    {"POINTER", "Pointer"},
    {"+", "+"},
    {"-", "-"},
    {"*", "*"},
    {"/", "/"},
    {"MOD", "mod"},
    {"=", "="},
    {"<", "<"},
    {">", ">"},
    {">=", ">="},
    {"<=", "<="},
    {"!=", "!="},
    {"AND", "AND"},
    {"OR", "OR"},
    {"NOT", "NOT"},
    {"XOR", "XOR"},
    {"(", "("},
    {")", ")"},
    {",", ","},
    {".", "."},
    {";", ";"},
    {":=", ":="},
    {"->", "->"},
    {"<-", "<-"},
    {"", "Integer Value"},
    {"", "Double Value"},
    {"", "Boolean Value"},
    {"", "String Value"},
    {"VAR", "VAR"},
    {"CONST", "CONST"},
    {"FUNCTION", "FUNCTION"},
    {"BEGIN", "BEGIN"},
    {"END", "END"},
    {"IF", "IF"},
    {"THEN", "THEN"},
    {"ELSEIF", "ELSEIF"},
    {"ELSE", "ELSE"},
    {"WHILE", "WHILE"},
    {"DO", "DO"},
    {"MODULE", "MODULE"},
    {"LOG", "LOG"},
    {"GETMEM", "GETMEM"},
    {"FREEMEM", "FREEMEM"},
    {"FALSE", "FALSE"},
    {"TRUE", "TRUE"},
    {"", "!none!"},
};

}  // namespace

std::string_view SymbolSpelling(TSymbol symbol) { return kSymbols[symbol].Spelling; }

std::string_view SymbolDisplay(TSymbol symbol) { return kSymbols[symbol].Display; }

TSymbol LookUpSpelling(std::string_view text) {
  if (text.empty()) return sIdent;
  for (int i = 0; i < kSymbolCount; ++i) {
    if (kSymbols[i].Spelling == text) return static_cast<TSymbol>(i);
  }
  return sIdent;
}

}  // namespace vesperon
