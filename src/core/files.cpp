#include "core/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "core/text.h"

namespace vesperon {

std::filesystem::path PathFromU16(std::u16string_view name) {
  return std::filesystem::path(Utf16ToUtf8(name));
}

std::u16string U16FromPath(const std::filesystem::path& path) { return Utf8ToUtf16(path.native()); }

std::optional<std::string> ReadWholeFile(const std::filesystem::path& path) {
  // A folder opens as a stream on Linux and reads as empty; it is no file.
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) return std::nullopt;
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream buffer;
  buffer << in.rdbuf();
  if (in.bad()) return std::nullopt;
  return std::move(buffer).str();
}

bool WriteFileAtomically(const std::filesystem::path& path, std::string_view bytes) {
  std::string tmpl =
      (path.has_parent_path() ? path.parent_path() / "" : std::filesystem::path()).native() + "." +
      path.filename().native() + ".XXXXXX";
  const int fd = mkstemp(tmpl.data());
  if (fd < 0) return false;
  bool ok = true;
  std::size_t done = 0;
  while (ok && done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    ok = n > 0;
    if (ok) done += static_cast<std::size_t>(n);
  }
  ok = ok && ::fchmod(fd, 0644) == 0 && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  if (ok) ok = std::rename(tmpl.c_str(), path.c_str()) == 0;
  if (!ok) ::unlink(tmpl.c_str());
  return ok;
}

}  // namespace vesperon
