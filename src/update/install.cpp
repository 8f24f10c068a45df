#include "update/install.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <system_error>

#include "core/coverage.h"
#include "core/files.h"
#include "core/log.h"
#include "core/paths.h"
#include "update/http_client.h"
#include "update/update_check.h"

namespace vesperon {
namespace {

[[noreturn]] void ThrowErrno(const char* what) {
  throw std::system_error(errno, std::generic_category(), what);
}

// The server's entry is untrusted: its file name and path must be safe to
// use before anything is fetched or written.
bool IsUsableEntry(const TUpdateInfo& update) {
  if (!IsSafeUpdateFileName(update.FileName)) {
    LogError("update refused: unsafe file name \"" + PrintableText(update.FileName) + "\"");
    return false;
  }
  if (!IsSafeUpdatePath(update.Path)) {
    LogError("update refused: unsafe download path \"" + PrintableText(update.Path) + "\"");
    return false;
  }
  return true;
}

// Only a complete, non-empty answer to a successful request is a program;
// anything else would replace the player with an error page or a fragment.
bool IsUsableDownload(const TServerAnswer& answer) {
  if (answer.Status < 200 || answer.Status > 299) {
    LogError("update not installed: the server answered with status " +
             std::to_string(answer.Status));
    return false;
  }
  if (answer.ReceiveFailed || answer.Body.empty()) {
    LogError("update not installed: the download is incomplete");
    return false;
  }
  return true;
}

// Writes the downloaded program with the permissions of the executable it
// replaces, so that the copy the script makes can be started.
bool WriteNewProgram(const std::filesystem::path& newFile, std::string_view bytes,
                     const std::filesystem::path& exe) {
  namespace fs = std::filesystem;
  std::error_code ec;
  fs::perms mode = fs::status(exe, ec).permissions();
  if (ec || mode == fs::perms::unknown)
    mode = fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
           fs::perms::others_read | fs::perms::others_exec;
  if (WriteFileAtomically(newFile, bytes)) {
    fs::permissions(newFile, mode | fs::perms::owner_read | fs::perms::owner_write, ec);
    if (!ec) return true;
  }
  LogError("could not write update file " + newFile.string());
  return false;
}

void WriteScriptFile(const std::filesystem::path& script, std::string_view text) {
  const int fd = ::open(script.c_str(), O_WRONLY | O_TRUNC | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) ThrowErrno("open update script");
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      const int error = errno;
      ::close(fd);
      throw std::system_error(error, std::generic_category(), "write update script");
    }
    done += static_cast<std::size_t>(n);
  }
  if (::close(fd) < 0) ThrowErrno("close update script");
}

// In the detached grandchild: no terminal, the working folder given, standard
// streams on /dev/null, no inherited descriptors but the error pipe (closed by
// exec). Only async-signal-safe calls, as the parent may have threads.
[[noreturn]] void ExecScript(const char* script, const char* workDir, int errorPipe) {
  if (::chdir(workDir) < 0) {
    // The script names every file by its full path; the folder is a courtesy.
  }
  const int null = ::open("/dev/null", O_RDWR);
  if (null >= 0) {
    ::dup2(null, 0);
    ::dup2(null, 1);
    ::dup2(null, 2);
    if (null > 2) ::close(null);
  }
  ::close_range(3, ~0U, CLOSE_RANGE_CLOEXEC);
  WriteCoverageCounts();  // coverage builds only
  ::execl("/bin/sh", "sh", script, static_cast<char*>(nullptr));
  const int error = errno;
  if (::write(errorPipe, &error, sizeof error) < 0) {
    // Nobody is left to tell.
  }
  ::_exit(127);
}

// Starts "/bin/sh script" in a new session, in a grandchild that init adopts,
// and waits only until the shell has been executed.
void StartDetached(const std::filesystem::path& script, const std::filesystem::path& workDir) {
  const std::string& scriptName = script.native();
  const std::string& dirName = workDir.native();
  int pipeFds[2];
  if (::pipe2(pipeFds, O_CLOEXEC) < 0) ThrowErrno("pipe");
  const pid_t child = ::fork();
  if (child < 0) {
    const int error = errno;
    ::close(pipeFds[0]);
    ::close(pipeFds[1]);
    throw std::system_error(error, std::generic_category(), "fork");
  }
  if (child == 0) {
    ::setsid();
    const pid_t grandchild = ::fork();
    if (grandchild == 0) ExecScript(scriptName.c_str(), dirName.c_str(), pipeFds[1]);
    WriteCoverageCounts();  // coverage builds only
    ::_exit(grandchild < 0 ? 1 : 0);
  }
  ::close(pipeFds[1]);
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  int execError = 0;
  ssize_t n;
  while ((n = ::read(pipeFds[0], &execError, sizeof execError)) < 0 && errno == EINTR) {
  }
  ::close(pipeFds[0]);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
    throw std::runtime_error("could not start the update script");
  if (n == sizeof execError)
    throw std::system_error(execError, std::generic_category(), "exec /bin/sh");
}

}  // namespace

TProgramFiles RunningProgramFiles() {
  const std::filesystem::path exe = ExecutablePath();
  return TProgramFiles{exe, exe.parent_path()};
}

void InstallUpdate() { InstallUpdate(RunningProgramFiles()); }

void InstallUpdate(const TProgramFiles& program) {
  if (gUpdates.empty()) {
    Log("no update available");
    return;
  }
  const auto entry = std::find_if(gUpdates.begin(), gUpdates.end(),
                                  [](const TUpdateInfo& u) { return u.UpdateType == utMainApp; });
  if (entry == gUpdates.end()) return;
  const TUpdateInfo update = *entry;
  if (!IsUsableEntry(update)) return;
  const std::optional<TServerAnswer> answer = ServerGet(update.Path);
  if (!answer || !IsUsableDownload(*answer)) return;
  const std::filesystem::path newFile = program.Dir / (update.FileName + ".tmp");
  if (!WriteNewProgram(newFile, answer->Body, program.Exe)) return;
  WriteUpdateBatch(newFile, program);
}

std::filesystem::path TempBatchName() {
  std::string name = (std::filesystem::absolute(TempDir()) / "uisXXXXXX.sh").native();
  const int fd = ::mkstemps(name.data(), 3);
  if (fd < 0) ThrowErrno("create update script");
  ::close(fd);
  return name;
}

void WriteUpdateBatch(const std::filesystem::path& newFile) {
  WriteUpdateBatch(newFile, RunningProgramFiles());
}

void WriteUpdateBatch(const std::filesystem::path& newFile, const TProgramFiles& program) {
  const std::filesystem::path script = TempBatchName();
  WriteScriptFile(script, UpdateScriptText(program, std::filesystem::absolute(newFile), script));
  StartDetached(script, std::filesystem::absolute(TempDir()));
  std::fflush(nullptr);
  WriteCoverageCounts();
  ::_exit(0);
}

std::string ShellQuote(std::string_view text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'') quoted += "'\\''";
    else quoted += c;
  }
  return quoted + "'";
}

std::string UpdateScriptText(const TProgramFiles& program, const std::filesystem::path& newFile,
                             const std::filesystem::path& script) {
  const std::string exe = ShellQuote(program.Exe.native());
  const std::string lib = ShellQuote(program.AudioLibrary().native());
  return "#!/bin/sh\n"
         "# Replaces the player once it has ended: removes the executable and the\n"
         "# audio library file until both are gone, then copies the downloaded\n"
         "# program over the executable and removes this script.\n"
         "while :; do\n"
         "  rm -f -- " +
         exe +
         "\n"
         "  rm -f -- " +
         lib +
         "\n"
         "  if [ ! -e " +
         exe + " ] && [ ! -e " + lib +
         " ]; then break; fi\n"
         "  sleep 1\n"
         "done\n"
         "rmdir -- " +
         ShellQuote(program.Dir.native()) +
         " 2>/dev/null\n"
         "cp -- " +
         ShellQuote(newFile.native()) + " " + exe +
         "\n"
         "rm -f -- " +
         ShellQuote(script.native()) + "\n";
}

}  // namespace vesperon
