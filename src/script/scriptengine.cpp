#include "script/scriptengine.h"

#include "core/idle_path.h"
#include "core/log.h"
#include "core/params.h"
#include "core/text.h"

namespace vesperon {

TScriptengine::TScriptengine(TScriptModules* owner) : Owner(owner) {
  Compiler.OnModuleName = [this](const std::string& name) {
    if (Owner != nullptr && Owner->NameTaken(name, this)) {
      throw TScriptCompileFailure("a module named " + name + " exists already");
    }
    Name_ = name;
  };
}

bool TScriptengine::CompileModule(std::string_view text) {
  const bool ok = Compiler.CompileModule(text);
  Decoded = DecodeInstructions(Compiler.Code());
  return ok;
}

VESPERON_IDLE_PATH bool TScriptengine::Run() {
  if (gParams.LogScript) Log("script: interpreting code");
  // The run keeps its own reference: a host call may recompile or drop
  // this engine without pulling the code from under the machine.
  std::shared_ptr<const TDecodedCode> code = Decoded ? Decoded : DecodeInstructions({});
  std::unique_ptr<TScriptMachine> machine = std::move(SpareMachine_);
  if (machine) {
    machine->Configure(Host, Limit);
  } else {
    machine = std::make_unique<TScriptMachine>(Host, Limit);
  }
  LastRun_ = machine->Run(*code);
  SpareMachine_ = std::move(machine);
  // A module run on every slow tick that keeps failing is reported once,
  // and again only after a clean run, so the log cannot grow without bound.
  if (!LastRun_.Ok && !LastRun_.Error.empty() && !Failing_) {
    LogError("script error in module " + Name_ + ": " + LastRun_.Error);
  }
  Failing_ = !LastRun_.Ok;
  if (LastRun_.Ok && gParams.LogScript) Log("script: Done...");
  return LastRun_.Ok;
}

TScriptengine& TScriptModules::Add(std::string_view text) {
  Engines.push_back(std::make_unique<TScriptengine>(this));
  TScriptengine& engine = *Engines.back();
  engine.SetHost(Host);
  engine.CompileModule(text);
  return engine;
}

TScriptengine* TScriptModules::Find(std::string_view name) {
  for (const auto& engine : Engines) {
    if (AsciiEqualIgnoringCase(engine->Name(), name)) return engine.get();
  }
  return nullptr;
}

bool TScriptModules::RunByName(std::string_view name) {
  TScriptengine* engine = Find(name);
  return engine != nullptr && engine->Run();
}

void TScriptModules::SetHost(const TScriptHost& host) {
  Host = host;
  for (const auto& engine : Engines) engine->SetHost(host);
}

bool TScriptModules::NameTaken(std::string_view name, const TScriptengine* except) const {
  if (name.empty()) return false;
  const std::string upper = AsciiUpper(name);
  for (const auto& engine : Engines) {
    if (engine.get() != except && AsciiUpper(engine->Name()) == upper) return true;
  }
  return false;
}

}  // namespace vesperon
