#pragma once
// The log: "vesperon.log" in the current directory, recreated at every start.
//   Log         progress lines, written only with --debug
//   LogWarning  "WARNING: " lines, written unless --silent
//   LogError    "ERROR: " lines, written unless --silent
// Warnings and errors also go to the notifier (the tray balloon) once one is
// installed. Every line is flushed at once. Reporting never fails or throws.
#include <functional>
#include <string>
#include <string_view>

namespace vesperon {

void Log(std::u16string_view text);
void Log(std::string_view utf8);
void LogWarning(std::u16string_view text);
void LogWarning(std::string_view utf8);
void LogError(std::u16string_view text);
void LogError(std::string_view utf8);

// Creates or truncates the log file and writes the banner. Returns false
// (and logging to the file stays off) when the file cannot be created.
bool OpenLog(const std::string& path = "vesperon.log");
void CloseLog();
bool IsLogOpen();

// Receives the title ("Warning" or "Error") and text of every warning and
// error that passes the --silent filter. The skin installs one that shows a
// tray balloon; an empty function removes it.
using TLogNotifier = std::function<void(std::u16string_view title, std::u16string_view text)>;
void SetLogNotifier(TLogNotifier notifier);

// Receives every line that passes the --debug / --silent filters, as written
// (UTF-8, without the line end), whether or not the file is open. For tests.
using TLogObserver = std::function<void(std::string_view line)>;
void SetLogObserver(TLogObserver observer);

}  // namespace vesperon
