#pragma once
// Little-endian field readers and writers for the binary file formats
// (media.db, packed skins, BMP headers). Fields are read and written one by
// one; nothing is ever cast from a struct. The reader never reads past its
// end: a read that would do so fails, moves the reader to its end and leaves
// it failed (every later read yields 0 or nothing), so a caller may read a
// whole record and check once.
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
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
  bool Skip(std::size_t count) { return Take(count); }

  uint8_t U8() { return static_cast<uint8_t>(Unsigned(1)); }
  uint16_t U16() { return static_cast<uint16_t>(Unsigned(2)); }
  uint32_t U32() { return static_cast<uint32_t>(Unsigned(4)); }
  int32_t I32() { return static_cast<int32_t>(U32()); }
  int64_t I64() { return static_cast<int64_t>(Unsigned(8)); }
  double F64() { return std::bit_cast<double>(Unsigned(8)); }

  // The next `count` bytes, or an empty view (and failure) when fewer remain.
  std::string_view Bytes(std::size_t count) {
    if (!Take(count)) return {};
    return Data_.substr(Pos_ - count, count);
  }

  // `units` UTF-16LE code units.
  std::u16string U16String(std::size_t units) {
    if (units > Remaining() / 2) {
      Fail();
      return {};
    }
    const std::string_view bytes = Bytes(units * 2);
    if (Failed_) return {};
    std::u16string s(units, u'\0');
    if constexpr (std::endian::native == std::endian::little) {
      std::memcpy(s.data(), bytes.data(), units * 2);
    } else {
      for (std::size_t i = 0; i < units; ++i) {
        s[i] = static_cast<char16_t>(static_cast<uint8_t>(bytes[2 * i]) |
                                     (static_cast<uint8_t>(bytes[2 * i + 1]) << 8));
      }
    }
    return s;
  }

 private:
  bool Take(std::size_t count) {
    if (Failed_ || count > Remaining()) return Fail();
    Pos_ += count;
    return true;
  }
  uint64_t Unsigned(std::size_t size) {
    if (!Take(size)) return 0;
    uint64_t value = 0;
    for (std::size_t i = 0; i < size; ++i)
      value |= static_cast<uint64_t>(static_cast<uint8_t>(Data_[Pos_ - size + i])) << (8 * i);
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

// Writes into a buffer sized beforehand; writing past its end sets Failed
// and writes nothing.
class TByteWriter {
 public:
  TByteWriter(char* begin, char* end) : P_(begin), End_(end) {}

  bool Failed() const { return Failed_; }
  bool Full() const { return P_ == End_; }

  void U8(uint8_t v) { Unsigned(v, 1); }
  void U16(uint16_t v) { Unsigned(v, 2); }
  void U32(uint32_t v) { Unsigned(v, 4); }
  void I32(int32_t v) { Unsigned(static_cast<uint32_t>(v), 4); }
  void F64(double v) { Unsigned(std::bit_cast<uint64_t>(v), 8); }
  // UTF-16LE code units, without a length.
  void U16Units(std::u16string_view s) {
    if (!Room(2 * s.size())) return;
    if constexpr (std::endian::native == std::endian::little) {
      std::memcpy(P_, s.data(), 2 * s.size());
      P_ += 2 * s.size();
    } else {
      for (const char16_t u : s) {
        *P_++ = static_cast<char>(u & 0xFF);
        *P_++ = static_cast<char>(u >> 8);
      }
    }
  }

 private:
  bool Room(std::size_t n) {
    if (Failed_ || static_cast<std::size_t>(End_ - P_) < n) Failed_ = true;
    return !Failed_;
  }
  void Unsigned(uint64_t v, std::size_t n) {
    if (!Room(n)) return;
    for (std::size_t i = 0; i < n; ++i) *P_++ = static_cast<char>((v >> (8 * i)) & 0xFF);
  }

  char* P_;
  char* End_;
  bool Failed_ = false;
};

// Appending writers, for layouts whose size is not known beforehand.
inline void PutLE(std::string& out, uint64_t value, std::size_t size) {
  for (std::size_t i = 0; i < size; ++i)
    out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}
inline void PutU8(std::string& out, uint8_t v) { PutLE(out, v, 1); }
inline void PutU16(std::string& out, uint16_t v) { PutLE(out, v, 2); }
inline void PutU32(std::string& out, uint32_t v) { PutLE(out, v, 4); }
inline void PutI32(std::string& out, int32_t v) { PutLE(out, static_cast<uint32_t>(v), 4); }
inline void PutI64(std::string& out, int64_t v) { PutLE(out, static_cast<uint64_t>(v), 8); }

}  // namespace vesperon
