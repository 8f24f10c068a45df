#include "script/compiler.h"

#include <bit>
#include <new>

#include "core/log.h"
#include "core/params.h"
#include "script/host_functions.h"

namespace vesperon {
namespace {

// Deeper nesting of blocks, statements and expressions is refused, so a
// hostile text cannot exhaust the compiler's own stack.
constexpr int kMaxNesting = 200;
// A literal's characters are stored by lit instructions whose 8-bit L names
// the cell, so a literal holds at most 254 characters.
constexpr size_t kMaxLiteralLength = 254;

bool IsTypeWord(TSymbol symbol) {
  return symbol == sInteger || symbol == sBoolean || symbol == sDouble || symbol == sString;
}

std::string_view TypeName(TVarType type) {
  switch (type) {
    case vtInteger: return "Integer";
    case vtDouble: return "Double";
    case vtString: return "String";
    case vtBoolean: return "Boolean";
    default: return "Void";
  }
}

TOperation OperationOf(TSymbol symbol) {
  switch (symbol) {
    case sPlus: return opAdd;
    case sMinus: return opSubtract;
    case sStar: return opMultiply;
    case sSlash: return opDivide;
    case sModular: return opModulo;
    case sAnd: return opAnd;
    case sOr: return opOr;
    case sXor: return opXor;
    case sEqual: return opEqual;
    case sUnEqual: return opUnequal;
    case sSmaller: return opLess;
    case sBigger: return opGreater;
    case sBiggerEqual: return opGreaterEqual;
    default: return opLessEqual;
  }
}

// Whether a binary operator of an Expression or Term applies to `type`.
bool OperatorAllows(TSymbol symbol, TVarType type) {
  const bool number = type == vtInteger || type == vtDouble;
  switch (symbol) {
    case sPlus: return number || type == vtString;
    case sMinus:
    case sStar:
    case sSlash: return number;
    case sModular: return type == vtInteger;
    default: return number || type == vtBoolean;  // AND, OR, XOR
  }
}

}  // namespace

bool TScriptCompiler::CompileModule(std::string_view text) {
  ErrorCount_ = 0;
  Code_.clear();
  Idents_.assign(1, TIdent{});
  Tx = 0;
  Dx = 3;
  Level = 0;
  OpenFunctions.clear();
  Depth = 0;
  Lex.OnUnexpectedChar = [](int32_t line) {
    LogError(std::to_string(line) + ": Unexpected Char Found");
  };
  try {
    Lex.Reset(text);
    Module();
  } catch (const TScriptCompileFailure&) {
    LogError("an unhandled error occured during the compilation of a script!");
    return false;
  } catch (const std::bad_alloc&) {
    LogError("an unhandled error occured during the compilation of a script!");
    return false;
  }
  return ErrorCount_ == 0;
}

// ---- Reporting ----

void TScriptCompiler::Error(std::string_view text) {
  ErrorPlain("Script: Line " + std::to_string(Lex.Line) + ": " + std::string(text));
}

void TScriptCompiler::ErrorPlain(const std::string& text) {
  LogError(text);
  ++ErrorCount_;
}

void TScriptCompiler::Warning(std::string_view text) {
  LogWarning("Script: Line " + std::to_string(Lex.Line) + ": " + std::string(text));
}

// Reports a missing symbol; never reads one: the caller goes on as if it
// had been there.
void TScriptCompiler::Expect(TSymbol symbol) {
  if (Sym() != symbol) ExpectOneOf({symbol});
}

void TScriptCompiler::ExpectOneOf(std::initializer_list<TSymbol> symbols) {
  std::string expected;
  for (TSymbol symbol : symbols) {
    if (!expected.empty()) expected += ", ";
    expected += SymbolDisplay(symbol);
  }
  Error(expected + " expected, " + std::string(SymbolDisplay(Sym())) + " found instead");
}

void TScriptCompiler::Nest() {
  if (++Depth <= kMaxNesting) return;
  LogError("Script: Line " + std::to_string(Lex.Line) + ": nesting deeper than " +
           std::to_string(kMaxNesting) + " levels");
  throw TScriptCompileFailure("nesting too deep");
}

// ---- Code generation ----

int64_t TScriptCompiler::Gen(TOpCode f, int64_t l, int64_t a) {
  Code_.push_back(TInstruction{f, static_cast<uint8_t>(l), a});
  if (gParams.LogScript) Log(ListInstruction(Code_.back()));
  return static_cast<int64_t>(Code_.size()) - 1;
}

void TScriptCompiler::FixJump(int64_t at, int64_t target) {
  Code_[static_cast<size_t>(at)].A = target;
}

// alc n+1; lit 1, n; then one lit per character into cells 1 to n.
void TScriptCompiler::GenStringLiteral(const std::string& text) {
  if (text.size() > kMaxLiteralLength) {
    Error("string literal longer than " + std::to_string(kMaxLiteralLength) + " characters");
    return GenStringLiteral("");
  }
  const auto n = static_cast<int64_t>(text.size());
  Gen(ocAlc, 0, n + 1);
  Gen(ocLit, 1, n);
  for (int64_t k = 1; k <= n; ++k)
    Gen(ocLit, k + 1, static_cast<unsigned char>(text[static_cast<size_t>(k - 1)]));
}

void TScriptCompiler::Load(const TIdent& variable) {
  Gen(ocLod, Level - variable.Level, variable.Adr);
}

void TScriptCompiler::StoreInto(const TIdent& variable) {
  Gen(ocSto, Level - variable.Level, variable.Adr);
}

// "F := e": inside F's body the result is cell 3 of F's own frame (copied out
// as F returns); elsewhere it is the result cell in the declaring frame.
void TScriptCompiler::StoreResult(int64_t index) {
  const TIdent& function = Idents_[static_cast<size_t>(index)];
  for (int64_t open : OpenFunctions) {
    if (open == index) {
      Gen(ocSto, Level - (function.Level + 1), 3);
      return;
    }
  }
  Gen(ocSto, Level - function.Level, function.ResultAdr);
}

// ---- The identifier table ----

// The newest entry named `name` at or below the table top; 0 when none.
int64_t TScriptCompiler::Position(const std::string& name) const {
  for (int64_t i = Tx; i > 0; --i) {
    if (Idents_[static_cast<size_t>(i)].Name == name) return i;
  }
  return 0;
}

void TScriptCompiler::Enter(TIdentType kind, TVarType type) {
  ++Tx;
  if (Tx >= static_cast<int64_t>(Idents_.size())) Idents_.resize(Idents_.size() + 20);
  TIdent& ident = Idents_[static_cast<size_t>(Tx)];
  ident = TIdent{};
  ident.Name = Lex.IdentName;
  ident.IdentType = kind;
  ident.VarType = type;
  ident.Level = Level;
  switch (kind) {
    case itConstant:
      if (type == vtInteger) ident.Value = Lex.IntValue;
      if (type == vtDouble) ident.Value = std::bit_cast<int64_t>(Lex.DoubleValue);
      if (type == vtBoolean) ident.Value = Lex.BoolValue ? 1 : 0;
      if (type == vtString)
        ErrorPlain("script: Line " + std::to_string(Lex.Line) +
                   ": no support for constant strings");
      break;
    case itVariable: ident.Adr = Dx++; break;
    case itFunction:
      ident.ResultAdr = Dx;
      Dx += 2;
      break;
    case itExternal: break;
  }
}

void TScriptCompiler::EnterHostFunctions() {
  const std::string saved = Lex.IdentName;
  for (const THostFunction& function : kHostFunctions) {
    Lex.IdentName = std::string(function.Name);
    Enter(itExternal, function.Result);
    Idents_[static_cast<size_t>(Tx)].Value = function.Number;
  }
  Lex.IdentName = saved;
}

TVarType TScriptCompiler::TypeOfWord(TSymbol symbol, bool& ok) {
  ok = true;
  switch (symbol) {
    case sInteger: return vtInteger;
    case sBoolean: return vtBoolean;
    case sDouble: return vtDouble;
    case sString: return vtString;
    default: ok = false; return vtInteger;
  }
}

// ---- Grammar ----

// Module -> "MODULE" ident ";" Block "BEGIN" StatementList "END" ident ";"
void TScriptCompiler::Module() {
  Expect(sModule);
  NextSymbol();
  Expect(sIdent);
  const std::string name = Lex.IdentName;
  if (OnModuleName) OnModuleName(name);
  ModuleName_ = name;
  NextSymbol();
  Expect(sSemiColon);
  EnterHostFunctions();
  NextSymbol();
  Tx = Block(kHostFunctionCount);
  Expect(sBegin);
  NextSymbol();
  StatementList();
  Expect(sEnd);
  NextSymbol();
  Gen(ocJmp, 0, 0);
  if (Sym() != sIdent || Lex.IdentName != name) Warning("Warning: Module ID <> End ID");
  if (Sym() == sIdent) NextSymbol();
  Expect(sSemiColon);
  NextSymbol();
  if (Sym() != sNone) Warning("Code after Module END is ignored!");
}

// Block -> { "VAR" VarDecl ";" { VarDecl ";" }
//          | "CONST" ConstDecl ";" { ConstDecl ";" }
//          | FunctionDecl }
// The entry at `top` stands for the block: its Adr becomes the block's code
// address and its Size the frame size. Returns the table top reached.
int64_t TScriptCompiler::Block(int64_t top) {
  Nest();
  const int64_t savedDx = Dx;
  const bool functionBody = !OpenFunctions.empty() && OpenFunctions.back() == top;
  Dx = functionBody ? 4 : 3;
  const int64_t jump = Gen(ocJmp, 0, 0);
  Idents_[static_cast<size_t>(top)].Adr = jump;
  for (;;) {
    if (Sym() == sVar) {
      NextSymbol();
      do {
        VarDecl();
        Expect(sSemiColon);
        NextSymbol();
      } while (IsTypeWord(Sym()));
    } else if (Sym() == sConst) {
      NextSymbol();
      do {
        ConstDecl();
        Expect(sSemiColon);
        NextSymbol();
      } while (Sym() == sIdent);
    } else if (Sym() == sFunction) {
      FunctionDecl();
    } else {
      break;
    }
  }
  const auto start = static_cast<int64_t>(Code_.size());
  FixJump(jump, start);
  Idents_[static_cast<size_t>(top)].Adr = start;
  Idents_[static_cast<size_t>(top)].Size = Dx;
  Gen(ocInt, 0, Dx);
  Dx = savedDx;
  Unnest();
  return Tx;
}

// VarDecl -> type ident { "," ident }
void TScriptCompiler::VarDecl() {
  bool ok = true;
  const TVarType type = TypeOfWord(Sym(), ok);
  if (!ok) ExpectOneOf({sInteger, sDouble, sBoolean, sString});
  NextSymbol();
  for (;;) {
    Expect(sIdent);
    Enter(itVariable, type);
    NextSymbol();
    if (Sym() != sComma) return;
    NextSymbol();
  }
}

// ConstDecl -> ident "=" ( Integer literal | Double literal | Boolean literal | String literal )
void TScriptCompiler::ConstDecl() {
  Expect(sIdent);
  const std::string name = Lex.IdentName;
  NextSymbol();
  Expect(sEqual);
  NextSymbol();
  const std::string literalName = Lex.IdentName;
  Lex.IdentName = name;
  switch (Sym()) {
    case sIntegerVal: Enter(itConstant, vtInteger); break;
    case sDoubleVal: Enter(itConstant, vtDouble); break;
    case sBooleanVal: Enter(itConstant, vtBoolean); break;
    case sStringVal: Enter(itConstant, vtString); break;
    default: ExpectOneOf({sIntegerVal, sDoubleVal, sBooleanVal, sStringVal}); break;
  }
  Lex.IdentName = literalName;
  NextSymbol();
}

// FunctionDecl -> "FUNCTION" ident X type ";" Block "BEGIN" StatementList "END" ident ";"
// X is any one symbol, skipped unchecked (usually ":").
void TScriptCompiler::FunctionDecl() {
  NextSymbol();
  Expect(sIdent);
  const std::string name = Lex.IdentName;
  Enter(itFunction, vtInteger);
  const int64_t index = Tx;
  NextSymbol();
  NextSymbol();
  bool ok = true;
  Idents_[static_cast<size_t>(index)].VarType = TypeOfWord(Sym(), ok);
  if (!ok) ExpectOneOf({sInteger, sDouble, sBoolean, sString});
  NextSymbol();
  Expect(sSemiColon);
  NextSymbol();
  const int64_t savedLevel = Level;
  const int64_t savedTx = Tx;
  ++Level;
  OpenFunctions.push_back(index);
  Tx = Block(index);
  Expect(sBegin);
  NextSymbol();
  StatementList();
  Expect(sEnd);
  // The result goes to the declaring frame as the function returns.
  Gen(ocLod, 0, 3);
  Gen(ocSto, 1, Idents_[static_cast<size_t>(index)].ResultAdr);
  Gen(ocOpr, 0, opReturn);
  OpenFunctions.pop_back();
  Level = savedLevel;
  Tx = savedTx;
  NextSymbol();
  if (Sym() != sIdent || Lex.IdentName != name) {
    const std::string found = Sym() == sIdent ? Lex.IdentName : std::string(SymbolDisplay(Sym()));
    ErrorPlain("script: Line " + std::to_string(Lex.Line) + ": Functionend " + name +
               " expected, but " + found + " found");
  }
  if (Sym() == sIdent) NextSymbol();
  Expect(sSemiColon);
  NextSymbol();
}

// StatementList -> Statement { ";" Statement }
void TScriptCompiler::StatementList() {
  Statement();
  while (Sym() == sSemiColon) {
    NextSymbol();
    Statement();
  }
}

// Statement -> IdentStatement | "BEGIN" StatementList "END" | IfStatement
//            | WhileStatement | LogStatement | (empty)
void TScriptCompiler::Statement() {
  Nest();
  switch (Sym()) {
    case sIdent: IdentStatement(); break;
    case sBegin:
      NextSymbol();
      StatementList();
      Expect(sEnd);
      NextSymbol();
      break;
    case sIf: IfStatement(); break;
    case sWhile: WhileStatement(); break;
    case sLog: LogStatement(); break;
    default: break;
  }
  Unnest();
}

// IdentStatement -> variable ( ":=" | "->" | "<-" ) Expression
//                 | function [ ":=" Expression ] | HostCall
void TScriptCompiler::IdentStatement() {
  const int64_t index = Position(Lex.IdentName);
  if (index == 0) Error("Unknown Identifier \"" + Lex.IdentName + "\"");
  const TIdent ident = Idents_[static_cast<size_t>(index)];
  switch (ident.IdentType) {
    case itVariable:
      NextSymbol();
      VariableStatement(ident);
      return;
    case itFunction: FunctionStatement(index); return;
    case itExternal:
      // A result nobody uses is dropped, so calls in a loop cannot fill the stack.
      if (HostCall(ident) && ident.VarType != vtVoid) Gen(ocInt, 0, -1);
      NextSymbol();
      return;
    case itConstant: Error("No constant allowed here"); return;
  }
}

// "v := e" stores e into v; "v -> e" stores v's value into the shared slot
// e; "v <- e" sets v from the shared slot e.
void TScriptCompiler::VariableStatement(const TIdent& variable) {
  const int64_t typeCode = TypeCodeOf(variable.VarType);
  switch (Sym()) {
    case sStore:
    case sRecall: {
      const bool store = Sym() == sStore;
      NextSymbol();
      if (store) Load(variable);
      if (Expression() != vtInteger) Error("type missmatch: Integer expected");
      Gen(store ? ocStr : ocGtr, 0, typeCode);
      StoreInto(variable);
      return;
    }
    case sBecomes: break;
    default: ExpectOneOf({sBecomes, sStore, sRecall}); break;
  }
  NextSymbol();
  if (Expression() != variable.VarType) Error("type missmatch");
  StoreInto(variable);
}

void TScriptCompiler::FunctionStatement(int64_t index) {
  const TIdent function = Idents_[static_cast<size_t>(index)];
  NextSymbol();
  if (Sym() == sBecomes) {
    NextSymbol();
    if (Expression() != function.VarType) Error("type missmatch");
    StoreResult(index);
    return;
  }
  Gen(ocCal, Level - function.Level, function.Adr);
}

// IfStatement -> "IF" Condition "THEN" StatementList "END"
//                { "ELSEIF" Condition "THEN" StatementList "END" } [ "ELSE" StatementList "END" ]
// Each branch ends in a jmp whose target is unknown; each ELSEIF points the
// pending jmp at its own, and the last is fixed to the end.
void TScriptCompiler::IfStatement() {
  int64_t pending = -1;
  do {
    NextSymbol();
    Condition();
    Expect(sThen);
    NextSymbol();
    const int64_t branch = Gen(ocJpc, 0, 0);
    StatementList();
    Expect(sEnd);
    NextSymbol();
    if (pending >= 0) FixJump(pending, static_cast<int64_t>(Code_.size()));
    pending = Gen(ocJmp, 0, 0);
    FixJump(branch, static_cast<int64_t>(Code_.size()));
  } while (Sym() == sElseIf);
  if (Sym() == sElse) {
    NextSymbol();
    StatementList();
    Expect(sEnd);
    NextSymbol();
  }
  FixJump(pending, static_cast<int64_t>(Code_.size()));
}

// WhileStatement -> "WHILE" Condition "DO" StatementList "END"
void TScriptCompiler::WhileStatement() {
  const auto start = static_cast<int64_t>(Code_.size());
  NextSymbol();
  Condition();
  const int64_t exit = Gen(ocJpc, 0, 0);
  Expect(sDo);
  NextSymbol();
  StatementList();
  Expect(sEnd);
  NextSymbol();
  Gen(ocJmp, 0, start);
  FixJump(exit, static_cast<int64_t>(Code_.size()));
}

// LogStatement -> "LOG" Expression
void TScriptCompiler::LogStatement() {
  NextSymbol();
  const int typeCode = TypeCodeOf(Expression());
  if (typeCode >= 0) Gen(ocLog, 0, typeCode);
}

// Condition -> Expression
//              ( "=" | "<" | ">" | ">=" | "<=" | "!=" | "AND" | "OR" | "XOR" )
//              Expression
// Doubles and Strings compare by value (L = their type code); every other
// type compares the raw cells.
void TScriptCompiler::Condition() {
  const TVarType left = Expression();
  const TSymbol op = Sym();
  NextSymbol();
  Expression();
  switch (op) {
    case sEqual:
    case sUnEqual:
    case sSmaller:
    case sBigger:
    case sBiggerEqual:
    case sSmallerEqual: {
      const int64_t typeCode = left == vtDouble || left == vtString ? TypeCodeOf(left) : tcInteger;
      Gen(ocOpr, typeCode, OperationOf(op));
      break;
    }
    case sAnd:
    case sOr:
    case sXor:
      if (left == vtBoolean) Gen(ocOpr, tcBoolean, OperationOf(op));
      else if (op == sAnd) Error("operator not allowed for this type here");
      else Error("operator not available for this type");
      break;
    default:
      ExpectOneOf(
          {sEqual, sSmaller, sBigger, sBiggerEqual, sSmallerEqual, sUnEqual, sAnd, sOr, sXor});
      break;
  }
}

// Expression -> [ "+" | "-" | "NOT" ] Term { ( "+" | "-" ) Term }
// The sign or NOT applies to the first Term; the type is the first Term's.
TVarType TScriptCompiler::Expression() {
  Nest();
  const TSymbol sign = Sym();
  if (sign == sPlus || sign == sMinus || sign == sNot) NextSymbol();
  const TVarType type = Term();
  if (sign == sMinus) {
    if (type == vtInteger || type == vtDouble) Gen(ocOpr, TypeCodeOf(type), opNegate);
    else Error("operator not available for this type");
  } else if (sign == sNot) {
    if (type == vtBoolean) Gen(ocOpr, tcBoolean, opNot);
    else Error("operator not available for this type");
  }
  while (Sym() == sPlus || Sym() == sMinus) {
    const TSymbol op = Sym();
    NextSymbol();
    const TVarType right = Term();
    if (!OperatorAllows(op, type)) {
      Error("operator not available for this type");
      continue;
    }
    if (right != type) Error("type missmatch");
    Gen(ocOpr, TypeCodeOf(type), OperationOf(op));
  }
  Unnest();
  return type;
}

// Term -> Factor { ( "*" | "/" | "MOD" | "AND" | "OR" | "XOR" ) Factor }
TVarType TScriptCompiler::Term() {
  const TVarType type = Factor();
  for (;;) {
    const TSymbol op = Sym();
    if (op != sStar && op != sSlash && op != sModular && op != sAnd && op != sOr && op != sXor)
      return type;
    NextSymbol();
    const TVarType right = Factor();
    if (!OperatorAllows(op, type)) {
      Error("operator not available for this type");
      continue;
    }
    if (right != type) Error("type missmatch");
    Gen(ocOpr, TypeCodeOf(type), OperationOf(op));
  }
}

// Factor -> ident | Integer literal | Double literal | Boolean literal | String literal
//           | "(" Expression ")"
TVarType TScriptCompiler::Factor() {
  TVarType type = vtInteger;
  switch (Sym()) {
    case sIdent: return IdentFactor();
    case sIntegerVal: Gen(ocLit, 0, Lex.IntValue); break;
    case sDoubleVal:
      Gen(ocLit, 0, std::bit_cast<int64_t>(Lex.DoubleValue));
      type = vtDouble;
      break;
    case sBooleanVal:
      Gen(ocLit, 0, Lex.BoolValue ? 1 : 0);
      type = vtBoolean;
      break;
    case sStringVal:
      GenStringLiteral(Lex.StringValue);
      type = vtString;
      break;
    case sOpenBracket:
      NextSymbol();
      type = Expression();
      Expect(sCloseBracket);
      break;
    default:
      ExpectOneOf({sIdent, sIntegerVal, sBooleanVal, sDoubleVal, sStringVal, sOpenBracket});
      return type;
  }
  NextSymbol();
  return type;
}

// An identifier in a factor: a constant's value, a variable's cell, a call
// of a function followed by a load of its result, or a host call. An unknown
// identifier reads as the Integer 0.
TVarType TScriptCompiler::IdentFactor() {
  const int64_t index = Position(Lex.IdentName);
  if (index == 0) ErrorPlain("Script: " + std::to_string(Lex.Line) + ": Unknown Identifier");
  const TIdent ident = Idents_[static_cast<size_t>(index)];
  switch (ident.IdentType) {
    case itConstant: Gen(ocLit, 0, ident.Value); break;
    case itVariable: Load(ident); break;
    case itFunction:
      Gen(ocCal, Level - ident.Level, ident.Adr);
      Gen(ocLod, Level - ident.Level, ident.ResultAdr);
      break;
    case itExternal: HostCall(ident); break;
  }
  NextSymbol();
  return ident.VarType;
}

// HostCall -> name [ "(" Expression { "," Expression } ")" ]
// Leaves the last symbol of the call (the name or ")") for the caller to
// read past. An argument of the wrong type ends the call uncompiled: false.
bool TScriptCompiler::HostCall(const TIdent& function) {
  const THostFunction& host = kHostFunctions[static_cast<size_t>(function.Value)];
  if (host.ArgCount > 0) {
    NextSymbol();
    Expect(sOpenBracket);
    for (int i = 0; i < host.ArgCount; ++i) {
      NextSymbol();
      if (Expression() != host.Args[static_cast<size_t>(i)]) {
        Error("type missmatch: " + std::string(TypeName(host.Args[static_cast<size_t>(i)])) +
              " expected");
        return false;
      }
      if (i + 1 < host.ArgCount) Expect(sComma);
    }
    Expect(sCloseBracket);
  }
  Gen(ocExt, 0, host.Number);
  return true;
}

}  // namespace vesperon
