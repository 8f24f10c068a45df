#pragma once
// The lexer of the skin script language: reads a module's 8-bit text one
// symbol at a time for the compiler.
//
// Outside string literals every letter is upper-cased as it is read, so words
// are case-insensitive. Lines are counted by carriage returns only; control
// characters read as blanks. The lexer never writes to the log: a character
// that starts no symbol is handed to OnUnexpectedChar (the compiler reports
// it) and skipped. A number that does not convert throws TScriptCompileFailure.
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "script/symbols.h"

namespace vesperon {

// A failure that abandons a compilation (a number that does not convert, a
// duplicate module name, nesting beyond the compiler's limit).
class TScriptCompileFailure : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TScriptLexer {
 public:
  // Starts reading `source` from its first character and reads the first
  // symbol.
  void Reset(std::string_view source);

  // Reads the next source character into Ch.
  void NextChar();
  // Reads the next symbol into Sym (and its value into the matching field).
  void NextSymbol();

  std::string Source;
  int64_t Pos = 1;  // 1-based index of the next character to read
  unsigned char Ch = ' ';
  int32_t Line = 1;
  TSymbol Sym = sNone;
  int64_t IntValue = 0;
  double DoubleValue = 0;
  bool BoolValue = false;
  // The characters of the last string literal, one byte per character.
  std::string StringValue;
  bool InString = false;
  std::string IdentName;  // at most 255 characters, upper case

  // Called with the line number for every character that starts no symbol.
  std::function<void(int32_t line)> OnUnexpectedChar;

 private:
  bool AtEndOfText() const;
  void ReadWord();
  void ReadNumber();
  void ReadHexNumber();
  void ReadString();
  void SkipComment();
  void ReadOperator();
};

}  // namespace vesperon
