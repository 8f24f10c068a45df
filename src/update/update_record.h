#pragma once
// One entry of the server's update list ("updates.dat"): a record of 884
// bytes, read and written field by field (little-endian, length-prefixed
// single-byte strings), and the checks that an entry is safe to act on.
//
//   offset size field
//        0    4 ID          (not interpreted)
//        4   51 Name        1 length byte + 50 bytes
//       55   51 FileName    1 length byte + 50 bytes
//      106    4 UpdateType
//      110  256 Path        1 length byte + 255 bytes
//      366    2 ValueA, 368 ValueB, 370 ValueC (not interpreted)
//      372  256 TextA, 628 TextB (not interpreted)
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vesperon {

inline constexpr std::size_t kUpdateRecordSize = 884;

// What an update replaces. Stored as 32-bit unsigned; values outside the
// three known ones are kept as they are and never installed.
enum TUpdateType : uint32_t {
  utMainApp = 0,
  utSkin = 1,
  utVisual = 2,
};

struct TUpdateInfo {
  uint32_t ID = 0;
  std::string Name;      // at most 50 bytes
  std::string FileName;  // at most 50 bytes
  TUpdateType UpdateType = utMainApp;
  std::string Path;  // at most 255 bytes; request target on the server
  uint16_t ValueA = 0;
  uint16_t ValueB = 0;
  uint16_t ValueC = 0;
  std::string TextA;  // at most 255 bytes
  std::string TextB;  // at most 255 bytes
};

// Reads size div 884 records from the bytes; a trailing partial record is
// ignored. A length byte larger than its field takes the whole field.
std::vector<TUpdateInfo> ReadUpdateRecords(std::string_view bytes);
TUpdateInfo ReadUpdateRecord(std::string_view record);

// The 884 bytes of one record. Strings longer than their field are cut;
// unused bytes are zero.
std::string WriteUpdateRecord(const TUpdateInfo& info);

// The server's entries are untrusted. A file name is stored beside the
// executable, so it must be one plain name: not empty, not "." or "..",
// without "/" or "\" and without control characters.
bool IsSafeUpdateFileName(std::string_view name);
// A path goes into the request line, so CR, LF or any other control
// character would inject request lines of its own.
bool IsSafeUpdatePath(std::string_view path);

// A server's 8-bit text (Windows-1252) as UTF-8 for the log, with every
// control character replaced by '?', so that a name for an update neither
// breaks the log's lines nor makes it invalid UTF-8.
std::string PrintableText(std::string_view text);

}  // namespace vesperon
