#pragma once
// The one-pass compiler of the skin script language: recursive descent over
// the lexer's symbols, an identifier table with static levels, code for the
// stack machine generated as the text is read, types checked on the way.
//
// Errors do not stop a compilation: each is written to the log with its line
// number and counted, and parsing goes on as if the expected symbol had been
// there. The compilation succeeds when no error was counted.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "script/instructions.h"
#include "script/lexer.h"

namespace vesperon {

enum TIdentType : uint8_t { itConstant, itVariable, itFunction, itExternal };

struct TIdent {
  std::string Name;              // upper case, at most 255 characters
  TVarType VarType = vtInteger;  // a function's result type; vtVoid for host procedures
  TIdentType IdentType = itConstant;
  int64_t Value = 0;      // a constant's cell; a host function's number
  int64_t Level = 0;      // the static level of the block that declared it
  int64_t Adr = 0;        // a variable's frame cell; a function's code address
  int64_t Size = 0;       // the frame cells a function's block reserves
  int64_t ResultAdr = 0;  // the first of the two cells a function reserves in the declaring frame
};

class TScriptCompiler {
 public:
  // Compiles `text` as one module, replacing any earlier code. True when no
  // error was counted.
  bool CompileModule(std::string_view text);

  const TInstructions& Code() const { return Code_; }
  const std::string& ModuleName() const { return ModuleName_; }
  int32_t ErrorCount() const { return ErrorCount_; }
  // The identifier table as the compilation left it (entry 0 the sentinel,
  // 1 to 20 the host functions).
  const std::vector<TIdent>& Idents() const { return Idents_; }
  int64_t IdentCount() const { return Tx + 1; }

  // Told the module's name (upper case) as soon as it is read; may throw
  // TScriptCompileFailure to refuse it (a second module of that name).
  std::function<void(const std::string& name)> OnModuleName;

 private:
  // Lexer shortcuts.
  TSymbol Sym() const { return Lex.Sym; }
  void NextSymbol() { Lex.NextSymbol(); }

  // Reporting.
  void Error(std::string_view text);
  void ErrorPlain(const std::string& text);
  void Warning(std::string_view text);
  void Expect(TSymbol symbol);
  void ExpectOneOf(std::initializer_list<TSymbol> symbols);

  // Code generation.
  int64_t Gen(TOpCode f, int64_t l, int64_t a);
  void FixJump(int64_t at, int64_t target);
  void GenStringLiteral(const std::string& text);

  // The identifier table.
  int64_t Position(const std::string& name) const;
  void Enter(TIdentType kind, TVarType type);
  void EnterHostFunctions();
  static TVarType TypeOfWord(TSymbol symbol, bool& ok);

  // Grammar.
  void Module();
  int64_t Block(int64_t top);
  void VarDecl();
  void ConstDecl();
  void FunctionDecl();
  void StatementList();
  void Statement();
  void IdentStatement();
  void VariableStatement(const TIdent& variable);
  void FunctionStatement(int64_t index);
  void IfStatement();
  void WhileStatement();
  void LogStatement();
  void Condition();
  TVarType Expression();
  TVarType Term();
  TVarType Factor();
  TVarType IdentFactor();
  bool HostCall(const TIdent& function);

  void Load(const TIdent& variable);
  void StoreInto(const TIdent& variable);
  void StoreResult(int64_t index);
  void Nest();
  void Unnest() { --Depth; }

  TScriptLexer Lex;
  std::vector<TIdent> Idents_;
  int64_t Tx = 0;  // the table top
  TInstructions Code_;
  int32_t ErrorCount_ = 0;
  std::string ModuleName_;
  int64_t Dx = 3;                      // the next free cell of the current block's frame
  int64_t Level = 0;                   // the static level of the current block
  std::vector<int64_t> OpenFunctions;  // table indices of the functions being compiled
  int Depth = 0;
};

}  // namespace vesperon
