#include "script/lexer.h"

#include <charconv>

namespace vesperon {
namespace {

constexpr size_t kMaxIdentLength = 255;

bool IsLetter(unsigned char c) { return (c >= 'A' && c <= 'Z') || c == '_'; }
bool IsDigit(unsigned char c) { return c >= '0' && c <= '9'; }
bool IsHexDigit(unsigned char c) { return IsDigit(c) || (c >= 'A' && c <= 'F'); }

// Decimal or hexadecimal digits to a 32-bit signed value; anything outside
// that range does not convert.
int64_t ConvertInt32(std::string_view digits, int base) {
  if (digits.empty())
    throw TScriptCompileFailure("'" + std::string(digits) + "' is not a valid integer value");
  int64_t value = 0;
  for (char c : digits) {
    const int digit = c <= '9' ? c - '0' : c - 'A' + 10;
    value = value * base + digit;
    if (value > INT32_MAX)
      throw TScriptCompileFailure("'" + std::string(digits) + "' is not a valid integer value");
  }
  return value;
}

}  // namespace

void TScriptLexer::Reset(std::string_view source) {
  Source.assign(source);
  Pos = 1;
  Ch = ' ';
  Line = 1;
  Sym = sNone;
  IntValue = 0;
  DoubleValue = 0;
  BoolValue = false;
  StringValue.clear();
  InString = false;
  IdentName.clear();
  NextSymbol();
}

void TScriptLexer::NextChar() {
  const auto size = static_cast<int64_t>(Source.size());
  Ch = Pos <= size ? static_cast<unsigned char>(Source[Pos - 1]) : ' ';
  ++Pos;
  if (!InString && Ch >= 'a' && Ch <= 'z') Ch = static_cast<unsigned char>(Ch - 'a' + 'A');
  if (Ch == 13) ++Line;
  if (Ch < 32) Ch = ' ';
}

// True when Ch is the blank that stands for the end of the text, or a blank
// that was the text's last character.
bool TScriptLexer::AtEndOfText() const {
  return Ch == ' ' && Pos > static_cast<int64_t>(Source.size());
}

void TScriptLexer::NextSymbol() {
  for (;;) {
    Sym = sNone;
    while (Ch == ' ' && Pos <= static_cast<int64_t>(Source.size())) NextChar();
    if (AtEndOfText()) return;
    if (IsLetter(Ch)) return ReadWord();
    if (IsDigit(Ch)) return ReadNumber();
    switch (Ch) {
      case '$': return ReadHexNumber();
      case '\'': return ReadString();
      case '(':
        NextChar();
        if (Ch == '*') {
          SkipComment();
          continue;
        }
        Sym = sOpenBracket;
        return;
      case ')':
        NextChar();
        Sym = sCloseBracket;
        return;
      case '*':
      case '+':
      case ',':
      case '.':
      case '/':
      case ';':
      case '=':
      case '!':
      case '-':
      case ':':
      case '<':
      case '>': return ReadOperator();
      default:
        // Reported once, then skipped, so the compilation goes on.
        if (OnUnexpectedChar) OnUnexpectedChar(Line);
        NextChar();
        continue;
    }
  }
}

void TScriptLexer::ReadWord() {
  std::string word;
  while (IsLetter(Ch) || IsDigit(Ch)) {
    word += static_cast<char>(Ch);
    NextChar();
  }
  Sym = LookUpSpelling(word);
  if (Sym == sIdent) IdentName = word.substr(0, kMaxIdentLength);
  if (Sym == sTrue || Sym == sFalse) {
    BoolValue = Sym == sTrue;
    Sym = sBooleanVal;
  }
}

void TScriptLexer::ReadNumber() {
  std::string text;
  Sym = sIntegerVal;
  while (IsDigit(Ch)) {
    text += static_cast<char>(Ch);
    NextChar();
  }
  if (Ch != '.') {
    IntValue = ConvertInt32(text, 10);
    return;
  }
  Sym = sDoubleVal;
  do {
    text += static_cast<char>(Ch);
    NextChar();
  } while (IsDigit(Ch));
  // "1." has no digits after the point; the conversion takes it as 1.0.
  const std::string full = text.back() == '.' ? text + "0" : text;
  const auto [end, error] = std::from_chars(full.data(), full.data() + full.size(), DoubleValue);
  if (error != std::errc() || end != full.data() + full.size()) {
    throw TScriptCompileFailure("'" + text + "' is not a valid floating point value");
  }
}

void TScriptLexer::ReadHexNumber() {
  std::string digits;
  Sym = sIntegerVal;
  NextChar();
  while (IsHexDigit(Ch)) {
    digits += static_cast<char>(Ch);
    NextChar();
  }
  IntValue = ConvertInt32(digits, 16);
}

void TScriptLexer::ReadString() {
  Sym = sStringVal;
  InString = true;
  NextChar();
  std::string text;
  while (Ch != '\'') {
    if (Pos > static_cast<int64_t>(Source.size()) + 1) {
      // The text ended inside the literal: it is abandoned.
      InString = false;
      return;
    }
    text += static_cast<char>(Ch);
    NextChar();
  }
  StringValue = std::move(text);
  InString = false;
  NextChar();
}

// Skips a comment whose "(*" has been read (Ch is the "*"). The character
// after "(*" is skipped unseen, and a "*" not followed by ")" costs one more
// character before the next "*" is looked for: "(**)" and "**)" do not close.
void TScriptLexer::SkipComment() {
  const int64_t end = static_cast<int64_t>(Source.size()) + 1;
  NextChar();
  while (Pos <= end) {
    NextChar();
    if (Ch == '*') {
      NextChar();
      if (Ch == ')') {
        NextChar();
        return;
      }
    }
  }
}

void TScriptLexer::ReadOperator() {
  const unsigned char first = Ch;
  std::string token(1, static_cast<char>(first));
  NextChar();
  const bool pairsWithEqual = first == '!' || first == ':' || first == '<' || first == '>';
  if ((pairsWithEqual && Ch == '=') || (first == '<' && Ch == '-') || (first == '-' && Ch == '>')) {
    token += static_cast<char>(Ch);
    NextChar();
  }
  Sym = LookUpSpelling(token);
  if (Sym == sIdent) Sym = sUnknown;
}

}  // namespace vesperon
