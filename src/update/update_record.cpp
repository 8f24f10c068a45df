#include "update/update_record.h"

#include <algorithm>

#include "core/text.h"

namespace vesperon {
namespace {

// Field widths of the record, in file order.
constexpr std::size_t kNameSize = 50;
constexpr std::size_t kFileNameSize = 50;
constexpr std::size_t kPathSize = 255;
constexpr std::size_t kTextSize = 255;

// Reads the fields of one record front to back.
class TRecordReader {
 public:
  explicit TRecordReader(std::string_view bytes) : Bytes(bytes) {}

  uint32_t U32() {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= uint32_t(Byte(Pos + i)) << (8 * i);
    Pos += 4;
    return v;
  }
  uint16_t U16() {
    const uint16_t v = uint16_t(Byte(Pos) | (Byte(Pos + 1) << 8));
    Pos += 2;
    return v;
  }
  // A length byte and `capacity` bytes; only the counted bytes are text.
  std::string ShortString(std::size_t capacity) {
    const std::size_t length = std::min<std::size_t>(Byte(Pos), capacity);
    std::string s(Bytes.substr(Pos + 1, length));
    Pos += 1 + capacity;
    return s;
  }

 private:
  unsigned Byte(std::size_t at) const { return static_cast<unsigned char>(Bytes[at]); }
  std::string_view Bytes;
  std::size_t Pos = 0;
};

void PutU32(std::string& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}
void PutU16(std::string& out, uint16_t v) {
  out.push_back(static_cast<char>(v & 0xFF));
  out.push_back(static_cast<char>(v >> 8));
}
void PutShortString(std::string& out, std::string_view s, std::size_t capacity) {
  const std::size_t length = std::min(s.size(), capacity);
  out.push_back(static_cast<char>(length));
  out.append(s.substr(0, length));
  out.append(capacity - length, '\0');
}

bool IsControl(char c) {
  const auto u = static_cast<unsigned char>(c);
  return u < 0x20 || u == 0x7F;
}

}  // namespace

TUpdateInfo ReadUpdateRecord(std::string_view record) {
  TRecordReader r(record.substr(0, kUpdateRecordSize));
  TUpdateInfo info;
  info.ID = r.U32();
  info.Name = r.ShortString(kNameSize);
  info.FileName = r.ShortString(kFileNameSize);
  info.UpdateType = static_cast<TUpdateType>(r.U32());
  info.Path = r.ShortString(kPathSize);
  info.ValueA = r.U16();
  info.ValueB = r.U16();
  info.ValueC = r.U16();
  info.TextA = r.ShortString(kTextSize);
  info.TextB = r.ShortString(kTextSize);
  return info;
}

std::vector<TUpdateInfo> ReadUpdateRecords(std::string_view bytes) {
  const std::size_t count = bytes.size() / kUpdateRecordSize;
  std::vector<TUpdateInfo> records;
  records.reserve(count);
  for (std::size_t i = 0; i < count; ++i)
    records.push_back(ReadUpdateRecord(bytes.substr(i * kUpdateRecordSize, kUpdateRecordSize)));
  return records;
}

std::string WriteUpdateRecord(const TUpdateInfo& info) {
  std::string out;
  out.reserve(kUpdateRecordSize);
  PutU32(out, info.ID);
  PutShortString(out, info.Name, kNameSize);
  PutShortString(out, info.FileName, kFileNameSize);
  PutU32(out, info.UpdateType);
  PutShortString(out, info.Path, kPathSize);
  PutU16(out, info.ValueA);
  PutU16(out, info.ValueB);
  PutU16(out, info.ValueC);
  PutShortString(out, info.TextA, kTextSize);
  PutShortString(out, info.TextB, kTextSize);
  return out;
}

bool IsSafeUpdateFileName(std::string_view name) {
  if (name.empty() || name == "." || name == "..") return false;
  return std::none_of(name.begin(), name.end(),
                      [](char c) { return c == '/' || c == '\\' || IsControl(c); });
}

bool IsSafeUpdatePath(std::string_view path) {
  return std::none_of(path.begin(), path.end(), IsControl);
}

std::string PrintableText(std::string_view text) {
  std::string s(text);
  std::replace_if(s.begin(), s.end(), IsControl, '?');
  return Utf16ToUtf8(Cp1252ToUtf16(s));
}

}  // namespace vesperon
