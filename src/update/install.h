#pragma once
// Installing an update of the program: the first main-program entry of the
// update list is downloaded next to the executable as FileName + ".tmp", and
// a detached shell script replaces the executable with it once the program
// has ended; the program ends at once.
#include <filesystem>
#include <string>
#include <string_view>

namespace vesperon {

// The files an installation replaces.
struct TProgramFiles {
  std::filesystem::path Exe;  // the executable
  std::filesystem::path Dir;  // its folder
  std::filesystem::path AudioLibrary() const { return Dir / "fmodex.so"; }
};

// The running program's files.
TProgramFiles RunningProgramFiles();

// Installs the first main-program update of gUpdates and ends the process
// with exit code 0. Returns only when there is nothing to install (logs "no
// update available" for an empty list, nothing when only other kinds are
// listed) or the entry or its download is unusable (logged).
void InstallUpdate();
void InstallUpdate(const TProgramFiles& program);

// A fresh, empty "uisXXXXXX.sh" in the temporary folder, created
// exclusively so that no other file can be overwritten through its name.
// Throws std::system_error when none can be created.
std::filesystem::path TempBatchName();

// Writes the replacement script for the downloaded program NewFile, starts
// it detached from the terminal and ends the process with exit code 0.
// Throws std::system_error when the script cannot be written or started.
[[noreturn]] void WriteUpdateBatch(const std::filesystem::path& newFile);
[[noreturn]] void WriteUpdateBatch(const std::filesystem::path& newFile,
                                   const TProgramFiles& program);

// The text of the replacement script; every path is quoted for the shell.
std::string UpdateScriptText(const TProgramFiles& program, const std::filesystem::path& newFile,
                             const std::filesystem::path& script);

// The text as one single-quoted shell word.
std::string ShellQuote(std::string_view text);

}  // namespace vesperon
