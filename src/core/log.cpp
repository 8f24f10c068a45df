#include "core/log.h"

#include <cstdio>

#include "core/log_banner.h"
#include "core/params.h"
#include "core/text.h"

namespace vesperon {
namespace {

// The log's process-wide state: the open file, the notifier and the observer.
struct TLogState {
  std::FILE* File = nullptr;
  TLogNotifier Notifier;
  TLogObserver Observer;
};

TLogState& State() {
  static TLogState state;
  return state;
}

// Writes one line with CR LF and flushes. Control characters and bytes that
// are not UTF-8 (in file names, tags, skin names) are written escaped, so
// the log stays valid UTF-8 with one report per line. A write error (full
// disk, a file closed under us) closes the log and leaves the program going
// without it: reporting must never fail in turn.
void WriteLine(std::string_view text) {
  const std::string line = EscapeForLog(text);
  TLogState& s = State();
  if (s.Observer) s.Observer(line);
  if (s.File == nullptr) return;
  const bool ok = std::fwrite(line.data(), 1, line.size(), s.File) == line.size() &&
                  std::fwrite("\r\n", 1, 2, s.File) == 2 && std::fflush(s.File) == 0;
  if (!ok) {
    std::fclose(s.File);
    s.File = nullptr;
  }
}

void Report(std::string_view prefix, std::u16string_view title, std::u16string_view text) {
  if (gParams.Silent) return;
  WriteLine(std::string(prefix) + Utf16ToUtf8(text));
  TLogState& s = State();
  if (s.Notifier) {
    try {
      s.Notifier(title, text);
    } catch (...) {
      // A failing balloon must not turn a report into a new failure.
    }
  }
}

}  // namespace

void Log(std::u16string_view text) {
  if (gParams.Debug) WriteLine(Utf16ToUtf8(text));
}
void Log(std::string_view utf8) {
  if (gParams.Debug) WriteLine(utf8);
}
void LogWarning(std::u16string_view text) { Report("WARNING: ", u"Warning", text); }
void LogWarning(std::string_view utf8) { LogWarning(Utf8ToUtf16(utf8)); }
void LogError(std::u16string_view text) { Report("ERROR: ", u"Error", text); }
void LogError(std::string_view utf8) { LogError(Utf8ToUtf16(utf8)); }

bool OpenLog(const std::string& path) {
  CloseLog();
  TLogState& s = State();
  s.File = std::fopen(path.c_str(), "wb");
  if (s.File == nullptr) return false;
  for (const std::string& line : LogBannerLines()) WriteLine(line);
  return s.File != nullptr;
}

void CloseLog() {
  TLogState& s = State();
  if (s.File != nullptr) std::fclose(s.File);
  s.File = nullptr;
}

bool IsLogOpen() { return State().File != nullptr; }

void SetLogNotifier(TLogNotifier notifier) { State().Notifier = std::move(notifier); }
void SetLogObserver(TLogObserver observer) { State().Observer = std::move(observer); }

}  // namespace vesperon
