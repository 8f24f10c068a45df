#pragma once
// TScriptengine: one skin script module, compiled once and run on demand.
// TScriptModules: the skin's list of engines, found and run by module name.
//
// Compile errors are written to the log by the compiler ("Script: Line
// ..."); a run that fails is reported as "script error in module NAME: ..."
// and stops cleanly, whatever the module does.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "script/compiler.h"
#include "script/host.h"
#include "script/instructions.h"
#include "script/interpreter.h"

namespace vesperon {

class TScriptModules;

class TScriptengine {
 public:
  // An engine owned by `owner` (which refuses a second module of one name),
  // or a free-standing one.
  explicit TScriptengine(TScriptModules* owner = nullptr);

  // Compiles the module text (8-bit, Windows-1252), replacing any earlier
  // code. True when no error was counted. The engine's name becomes the
  // module's name, upper case.
  bool CompileModule(std::string_view text);

  // Runs the compiled code once with the engine's host; false when the run
  // failed. A failure is logged unless the run before failed too. A module runs whether or not its
  // compilation succeeded: its code is whatever was generated.
  bool Run();

  void SetHost(const TScriptHost& host) { Host = host; }
  // At most this many instructions per run; 0 lifts the limit.
  void SetInstructionLimit(uint64_t limit) { Limit = limit; }
  uint64_t InstructionLimit() const { return Limit; }

  const std::string& Name() const { return Name_; }
  const TInstructions& Code() const { return Compiler.Code(); }
  int32_t ErrorCount() const { return Compiler.ErrorCount(); }
  // What the last run left: its result, with the failure text if any.
  const TRunResult& LastRun() const { return LastRun_; }

 private:
  TScriptModules* Owner;
  TScriptCompiler Compiler;
  std::string Name_;
  std::shared_ptr<const TDecodedCode> Decoded;
  TScriptHost Host;
  uint64_t Limit = kDefaultInstructionLimit;
  TRunResult LastRun_;
  bool Failing_ = false;  // the last run failed (and was reported)
  // The machine of the last run, kept for the next (modules such as the
  // slow tick's run many times a second); taken out while a run uses it, so
  // a nested run of the same module gets a machine of its own.
  std::unique_ptr<TScriptMachine> SpareMachine_;
};

class TScriptModules {
 public:
  // Appends a new engine with the list's host and compiles `text` into it.
  // The engine is kept even when the compilation fails.
  TScriptengine& Add(std::string_view text);

  // The first engine whose upper-cased name equals `name` upper-cased.
  TScriptengine* Find(std::string_view name);
  // Runs that engine; false when there is none or its run failed.
  bool RunByName(std::string_view name);

  // The host of every engine, present and future.
  void SetHost(const TScriptHost& host);
  size_t Count() const { return Engines.size(); }
  TScriptengine& operator[](size_t index) { return *Engines[index]; }
  void Clear() { Engines.clear(); }
  // Takes every engine out of the list, which is then empty: for an owner
  // that must keep an engine alive while it still runs.
  std::vector<std::unique_ptr<TScriptengine>> TakeAll() { return std::exchange(Engines, {}); }

  // True when an engine other than `except` already has this name.
  bool NameTaken(std::string_view name, const TScriptengine* except) const;

 private:
  std::vector<std::unique_ptr<TScriptengine>> Engines;
  TScriptHost Host;
};

}  // namespace vesperon
