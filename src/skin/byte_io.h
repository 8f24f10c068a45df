#pragma once
// Little-endian reading and writing for the binary layouts of this folder
// (BMP headers, packed skin files). Fields are read one by one; nothing is
// ever cast from a struct. The reader never reads past its end: a read that
// would do so fails and leaves the reader failed, so a caller may read a run
// of fields and check once.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vesperon {

class TByteReader {
 public:
  explicit TByteReader(std::string_view data) : Data_(data) {}

  std::size_t Position() const { return Pos_; }
  std::size_t Remaining() const { return Data_.size() - Pos_; }
  bool Failed() const { return Failed_; }

  // Moves to an absolute offset; fails when it lies past the end.
  bool Seek(std::size_t offset) {
    if (offset > Data_.size()) return Fail();
    Pos_ = offset;
    return true;
  }
  bool Skip(std::size_t count) { return count <= Remaining() ? (Pos_ += count, true) : Fail(); }

  uint8_t U8() { return static_cast<uint8_t>(Unsigned(1)); }
  uint16_t U16() { return static_cast<uint16_t>(Unsigned(2)); }
  uint32_t U32() { return static_cast<uint32_t>(Unsigned(4)); }
  int32_t I32() { return static_cast<int32_t>(U32()); }
  int64_t I64() { return static_cast<int64_t>(Unsigned(8)); }

  // The next `count` bytes, or an empty view (and failure) when fewer remain.
  std::string_view Bytes(std::size_t count) {
    if (count > Remaining()) {
      Fail();
      return {};
    }
    std::string_view out = Data_.substr(Pos_, count);
    Pos_ += count;
    return out;
  }

 private:
  uint64_t Unsigned(std::size_t size) {
    if (size > Remaining()) {
      Fail();
      return 0;
    }
    uint64_t value = 0;
    for (std::size_t i = 0; i < size; ++i)
      value |= static_cast<uint64_t>(static_cast<uint8_t>(Data_[Pos_ + i])) << (8 * i);
    Pos_ += size;
    return value;
  }
  bool Fail() {
    Failed_ = true;
    Pos_ = Data_.size();
    return false;
  }

  std::string_view Data_;
  std::size_t Pos_ = 0;
  bool Failed_ = false;
};

inline void PutLE(std::string& out, uint64_t value, std::size_t size) {
  for (std::size_t i = 0; i < size; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}
inline void PutU8(std::string& out, uint8_t v) { PutLE(out, v, 1); }
inline void PutU16(std::string& out, uint16_t v) { PutLE(out, v, 2); }
inline void PutU32(std::string& out, uint32_t v) { PutLE(out, v, 4); }
inline void PutI32(std::string& out, int32_t v) { PutLE(out, static_cast<uint32_t>(v), 4); }
inline void PutI64(std::string& out, int64_t v) { PutLE(out, static_cast<uint64_t>(v), 8); }

}  // namespace vesperon
