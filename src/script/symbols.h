#pragma once
// The symbols of the skin script language, shared by the lexer and the
// compiler: their order, the upper-case spelling the lexer recognises and the
// name the compiler's messages show.
#include <cstdint>
#include <string_view>

namespace vesperon {

// clang-format off
enum TSymbol : uint8_t {
  sUnknown, sIdent, sInteger, sBoolean, sDouble, sString, sPointer,
  sPlus, sMinus, sStar, sSlash, sModular,
  sEqual, sSmaller, sBigger, sBiggerEqual, sSmallerEqual, sUnEqual,
  sAnd, sOr, sNot, sXor,
  sOpenBracket, sCloseBracket, sComma, sDot, sSemiColon, sBecomes, sStore, sRecall,
  sIntegerVal, sDoubleVal, sBooleanVal, sStringVal,
  sVar, sConst, sFunction, sBegin, sEnd, sIf, sThen, sElseIf, sElse, sWhile, sDo,
  sModule, sLog, sGetMem, sFreeMem, sFalse, sTrue, sNone,
};
// clang-format on

inline constexpr int kSymbolCount = sNone + 1;

// The exact upper-case text of a symbol; empty for symbols without a fixed
// spelling (identifiers, literals, sUnknown, sNone).
std::string_view SymbolSpelling(TSymbol symbol);

// The symbol's name in "expected ... found" messages.
std::string_view SymbolDisplay(TSymbol symbol);

// The first symbol, in table order, spelled exactly `text`; sIdent when none.
TSymbol LookUpSpelling(std::string_view text);

}  // namespace vesperon
