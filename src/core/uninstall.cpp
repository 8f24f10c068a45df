#include "core/uninstall.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <iostream>
#include <stdexcept>
#include <string>

#include "core/paths.h"
#include "core/text.h"

namespace vesperon {
namespace fs = std::filesystem;

namespace {

constexpr std::size_t kMaxAnswer = 255;

// Reads one answer line; an answer that cannot be read (end of input) is
// empty, so an unattended start never removes anything.
std::string ReadAnswer(std::istream& in) {
  std::string line;
  if (!std::getline(in, line)) line.clear();
  if (!line.empty() && line.back() == '\r') line.pop_back();
  if (line.size() > kMaxAnswer) line.resize(kMaxAnswer);
  return line;
}

bool IsYes(const std::string& answer) { return answer == "yes" || answer == "y"; }

void Say(const TConsole& console, const char* line) { *console.Out << line << std::endl; }

bool IsDirectory(const fs::path& p) {
  std::error_code ec;
  return fs::is_directory(fs::symlink_status(p, ec));
}

void RemoveIfFile(const fs::path& p) {
  std::error_code ec;
  const fs::file_status st = fs::symlink_status(p, ec);
  if (fs::exists(st) && !fs::is_directory(st)) fs::remove(p, ec);
}

// Removes `name` in `folder` and then tries the folder itself.
void RemoveFolderWith(const fs::path& folder, const char* name) {
  if (!IsDirectory(folder)) return;
  RemoveIfFile(folder / name);
  std::error_code ec;
  fs::remove(folder, ec);
}

// Text in single quotes for the shell: nothing inside is interpreted, and a
// quote in a path is closed, escaped and reopened.
std::string ShellQuoted(const fs::path& p) {
  std::string out = "'";
  for (const char c : p.native()) {
    if (c == '\'') {
      out += "'\\''";
    } else {
      out += c;
    }
  }
  return out + "'";
}

fs::path gShell = "/bin/sh";

// Starts `/bin/sh script` in a new session with no terminal, detached from
// this process (double fork, so it is never our zombie), in `workDir`. A
// pipe closed on exec tells whether the shell really started: the detached
// process writes its errno into it when changing folder or exec fails.
bool StartDetached(const fs::path& script, const fs::path& workDir) {
  int report[2];
  if (pipe2(report, O_CLOEXEC) != 0) return false;
  const pid_t child = fork();
  if (child < 0) {
    ::close(report[0]);
    ::close(report[1]);
    return false;
  }
  if (child == 0) {
    ::close(report[0]);
    setsid();
    const pid_t grandchild = fork();
    if (grandchild != 0) _exit(grandchild < 0 ? 1 : 0);
    const int null = open("/dev/null", O_RDWR);
    if (null >= 0) {
      dup2(null, 0);
      dup2(null, 1);
      dup2(null, 2);
    }
    if (report[1] != 3) dup2(report[1], 3);
    fcntl(3, F_SETFD, FD_CLOEXEC);
    closefrom(4);
    if (chdir(workDir.c_str()) == 0)
      execl(gShell.c_str(), "sh", script.c_str(), static_cast<char*>(nullptr));
    const int error = errno;
    [[maybe_unused]] const ssize_t n = ::write(3, &error, sizeof error);
    _exit(127);
  }
  ::close(report[1]);
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  int error = 0;
  ssize_t n = 0;
  while ((n = ::read(report[0], &error, sizeof error)) < 0 && errno == EINTR) {
  }
  ::close(report[0]);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 && n == 0;
}

// Writes the removal script into the temporary folder and starts it.
bool StartSelfRemoval() {
  const fs::path folder = ExecutableDir();
  const fs::path exe = ExecutablePath();
  std::string name = (TempDir() / "uisXXXXXX.sh").native();
  const int fd = mkstemps(name.data(), 3);
  if (fd < 0) return false;
  const fs::path script(name);
  const std::string text = SelfRemovalScript(exe, folder / kAudioLibraryFile, folder, script);
  const bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  ::close(fd);
  if (!written) {
    ::unlink(name.c_str());
    return false;
  }
  // The executable's write permission is restored so nothing keeps the
  // script from removing it.
  struct stat st {};
  if (::stat(exe.c_str(), &st) == 0) ::chmod(exe.c_str(), (st.st_mode & 07777) | S_IWUSR);
  // The program folder must not stay our current directory while it is
  // removed; when the script cannot be started, start-up goes on where it was.
  std::error_code ec;
  const fs::path previous = fs::current_path(ec);
  fs::current_path(TempDir(), ec);
  if (StartDetached(script, TempDir())) return true;
  ::unlink(name.c_str());
  fs::current_path(previous.empty() ? folder : previous, ec);
  if (ec) fs::current_path(folder, ec);
  return false;
}

}  // namespace

TConsole StandardConsole() {
  TConsole console;
  console.In = &std::cin;
  console.Out = &std::cout;
  console.Available = fcntl(0, F_GETFD) != -1 && fcntl(1, F_GETFD) != -1;
  return console;
}

std::string SelfRemovalScript(const fs::path& exe, const fs::path& library, const fs::path& folder,
                              const fs::path& script) {
  const std::string e = ShellQuoted(exe), l = ShellQuoted(library);
  return "#!/bin/sh\n"
         "# Removes Vesperon once the program has ended.\n"
         "while [ -e " +
         e + " ] || [ -e " + l +
         " ]; do\n"
         "  rm -f " +
         e +
         "\n"
         "  rm -f " +
         l +
         "\n"
         "  if [ -e " +
         e + " ] || [ -e " + l +
         " ]; then sleep 1; fi\n"
         "done\n"
         "rmdir " +
         ShellQuoted(folder) +
         "\n"
         "rm -f " +
         ShellQuoted(script) + "\n";
}

void RemoveSkinTree(const fs::path& dir) {
  std::error_code ec;
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    const fs::path& p = it->path();
    if (IsDirectory(p)) {
      RemoveSkinTree(p);
      // A subfolder that still holds other files stays, with those files.
      std::error_code removeError;
      fs::remove(p, removeError);
    } else if (AsciiLower(p.extension().native()) == ".vsf") {
      std::error_code removeError;
      fs::remove(p, removeError);
    }
  }
}

TUninstallResult RunUninstaller(TParams& params, const TConsole& console) {
  bool proceed = params.Silent;
  if (!params.Silent) {
    if (!console.Available) {
      proceed = true;
      params.Silent = true;
    } else {
      Say(console, "Uninstall of Vesperon");
      Say(console, "");
      Say(console, "Really uninstall Vesperon? [yes/no]");
      // The first answer counts only as typed: "YES" cancels.
      if (!IsYes(ReadAnswer(*console.In))) return urContinue;
      Say(console, "");
      Say(console, "beginning uninstall of Vesperon...");
      Say(console, "removing all skins? [yes/no]");
      proceed = IsYes(AsciiLower(ReadAnswer(*console.In)));
    }
  }
  const fs::path folder = ExecutableDir();
  if (proceed && IsDirectory(folder / "skins")) {
    RemoveSkinTree(folder / "skins");
    std::error_code ec;
    fs::remove(folder / "skins", ec);
  }
  if (!params.Silent) Say(console, "removing other files");
  RemoveFolderWith(folder / "images", "splash.bmp");
  RemoveFolderWith(folder / "help", "index.html");
  for (const char* name : {"settings.xml", "german.xml", "english.xml", "keys.xml", "Readme.txt",
                           "ChangeLog.txt", "vesperon.log"}) {
    RemoveIfFile(folder / name);
  }
  std::error_code ec;
  if (fs::exists(fs::symlink_status(folder / "media.db", ec))) {
    if (!params.Silent) Say(console, "removing media database");
    RemoveIfFile(folder / "media.db");
  }
  RemoveIfFile(folder / kAudioLibraryFile);

  bool removeSelf = params.Silent && params.Force;
  if (!params.Silent) {
    Say(console, "Should I remove vesperon? [yes/no]");
    removeSelf = IsYes(AsciiLower(ReadAnswer(*console.In)));
  }
  if (removeSelf) {
    if (StartSelfRemoval()) return urSelfRemoval;
    if (console.Available) Say(console, "Vesperon could not remove itself");
  }
  return urContinue;
}

void SetRemovalShellForTesting(const std::filesystem::path& shell) { gShell = shell; }

}  // namespace vesperon
