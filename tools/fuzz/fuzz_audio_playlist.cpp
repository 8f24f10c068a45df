// ".m3u" playlists come from anywhere the user opens files: every byte
// string must split into paths without a crash, and no path may be empty,
// hold a line break or be a comment line.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "audio/playback.h"
#include "core/text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::size_t bytes = 0;
  for (const std::u16string& path : vesperon::ParsePlaylist(text)) {
    if (path.empty() || path.front() == u'#') std::abort();
    if (path.find_first_of(u"\r\n") != std::u16string::npos) std::abort();
    // The stray-byte escape keeps every path byte, so each path is a piece of the text.
    const std::string line = vesperon::Utf16ToUtf8(path);
    if (text.find(line) == std::string_view::npos) std::abort();
    bytes += line.size();
  }
  if (bytes > text.size()) std::abort();
  vesperon::IsPlaylistName(vesperon::Utf8ToUtf16(std::string(text)));
  return 0;
}
