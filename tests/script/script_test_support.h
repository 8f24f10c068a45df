#pragma once
// Shared by the script tests: the log captured line by line, a host that
// records what scripts ask of it, and compile-and-run helpers.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "core/log.h"
#include "core/params.h"
#include "script/host.h"
#include "script/interpreter.h"
#include "script/scriptengine.h"

namespace vesperon {

// Captures every log line while it lives; --debug on so "log: " lines count.
class TLogCapture {
 public:
  TLogCapture() {
    Saved = gParams;
    gParams.Debug = true;
    gParams.Silent = false;
    gParams.LogScript = false;
    SetLogObserver([this](std::string_view line) { Lines.emplace_back(line); });
  }
  ~TLogCapture() {
    SetLogObserver(nullptr);
    gParams = Saved;
  }
  // Lines that start with `prefix`, in order.
  std::vector<std::string> With(std::string_view prefix) const {
    std::vector<std::string> out;
    for (const std::string& line : Lines) {
      if (line.rfind(prefix, 0) == 0) out.push_back(line);
    }
    return out;
  }
  std::vector<std::string> Errors() const { return With("ERROR: "); }
  std::vector<std::string> Warnings() const { return With("WARNING: "); }
  std::vector<std::string> LogOutput() const { return With("log: "); }
  void Clear() { Lines.clear(); }

  std::vector<std::string> Lines;

 private:
  TParams Saved;
};

// A player and skin whose state tests set and whose calls they read back.
class TRecordingHost : public TScriptPlayerHost, public TScriptSkinHost {
 public:
  uint32_t Position = 0;
  uint32_t Length = 0;
  bool IsPaused = false;
  std::optional<TScriptSongTags> Entry;
  int64_t BarPosition = 0;
  int64_t BarMax = 1000;
  std::vector<std::string> Calls;

  uint32_t CurrentPosition() override { return Position; }
  uint32_t CurrentLength() override { return Length; }
  bool Paused() override { return IsPaused; }
  std::optional<TScriptSongTags> CurrentEntry() override { return Entry; }
  void Play() override { Calls.push_back("play"); }
  void Stop() override { Calls.push_back("stop"); }
  void Pause() override { Calls.push_back("pause"); }
  void Next() override { Calls.push_back("next"); }
  void Previous() override { Calls.push_back("previous"); }

  void SetLabelText(std::string_view name, std::string_view text) override {
    Calls.push_back("text " + std::string(name) + "=" + std::string(text));
  }
  void SetItemVisible(std::string_view name, bool visible) override {
    Calls.push_back("visible " + std::string(name) + "=" + (visible ? "1" : "0"));
  }
  int64_t ProgressBarPosition(std::string_view name) override {
    return name == "p" ? BarPosition : 0;
  }
  void SetProgressBarPosition(std::string_view name, int64_t position) override {
    Calls.push_back("position " + std::string(name) + "=" + std::to_string(position));
    if (name == "p") BarPosition = position > BarMax ? BarMax : position;
  }
  void SetProgressBarMax(std::string_view name, int64_t maximum) override {
    Calls.push_back("max " + std::string(name) + "=" + std::to_string(maximum));
    if (name != "p") return;
    BarMax = maximum;
    if (BarPosition > BarMax) BarPosition = BarMax;
  }

  TScriptHost Host() { return TScriptHost{this, this}; }
};

// "module t; <declarations> begin <body> end t;"
inline std::string ModuleText(const std::string& body, const std::string& declarations = "") {
  return "module t;\r\n" + declarations + "\r\nbegin\r\n" + body + "\r\nend t;\r\n";
}

}  // namespace vesperon
