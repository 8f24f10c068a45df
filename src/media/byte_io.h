#pragma once
// Little-endian field readers and writers for the binary file formats.
// The reader never reads past its end: a short read sets Failed and yields 0,
// so a caller can read a whole record and check once.
#include <bit>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace vesperon {

class TByteReader {
 public:
  explicit TByteReader(std::string_view bytes) : Bytes(bytes) {}

  std::size_t Position() const { return Pos; }
  std::size_t Remaining() const { return Bytes.size() - Pos; }
  bool Failed() const { return Fail; }

  std::uint8_t U8() { return static_cast<std::uint8_t>(Unsigned(1)); }
  std::uint16_t U16() { return static_cast<std::uint16_t>(Unsigned(2)); }
  std::uint32_t U32() { return static_cast<std::uint32_t>(Unsigned(4)); }
  std::int32_t I32() { return static_cast<std::int32_t>(U32()); }
  double F64() { return std::bit_cast<double>(Unsigned(8)); }

  // `units` UTF-16LE code units.
  std::u16string U16String(std::size_t units) {
    if (!Take(units * 2)) return {};
    std::u16string s(units, u'\0');
    const char* p = Bytes.data() + Pos - units * 2;
    if constexpr (std::endian::native == std::endian::little) {
      std::memcpy(s.data(), p, units * 2);
    } else {
      for (std::size_t i = 0; i < units; ++i) {
        s[i] = static_cast<char16_t>(static_cast<unsigned char>(p[2 * i]) |
                                     (static_cast<unsigned char>(p[2 * i + 1]) << 8));
      }
    }
    return s;
  }

 private:
  bool Take(std::size_t n) {
    if (Fail || n > Remaining()) {
      Fail = true;
      return false;
    }
    Pos += n;
    return true;
  }
  std::uint64_t Unsigned(int n) {
    if (!Take(static_cast<std::size_t>(n))) return 0;
    std::uint64_t v = 0;
    for (int i = n - 1; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(Bytes[Pos - n + i]);
    return v;
  }

  std::string_view Bytes;
  std::size_t Pos = 0;
  bool Fail = false;
};

// Writes into a buffer sized beforehand; writing past its end sets Failed
// and writes nothing.
class TByteWriter {
 public:
  TByteWriter(char* begin, char* end) : P(begin), End(end) {}

  bool Failed() const { return Fail; }
  bool Full() const { return P == End; }

  void U8(std::uint8_t v) { Unsigned(v, 1); }
  void U16(std::uint16_t v) { Unsigned(v, 2); }
  void U32(std::uint32_t v) { Unsigned(v, 4); }
  void I32(std::int32_t v) { Unsigned(static_cast<std::uint32_t>(v), 4); }
  void F64(double v) { Unsigned(std::bit_cast<std::uint64_t>(v), 8); }
  void U16Units(std::u16string_view s) {
    if (!Room(2 * s.size())) return;
    if constexpr (std::endian::native == std::endian::little) {
      std::memcpy(P, s.data(), 2 * s.size());
      P += 2 * s.size();
    } else {
      for (const char16_t u : s) {
        *P++ = static_cast<char>(u & 0xFF);
        *P++ = static_cast<char>(u >> 8);
      }
    }
  }

 private:
  bool Room(std::size_t n) {
    if (Fail || static_cast<std::size_t>(End - P) < n) Fail = true;
    return !Fail;
  }
  void Unsigned(std::uint64_t v, int n) {
    if (!Room(static_cast<std::size_t>(n))) return;
    for (int i = 0; i < n; ++i) *P++ = static_cast<char>((v >> (8 * i)) & 0xFF);
  }

  char* P;
  char* End;
  bool Fail = false;
};

}  // namespace vesperon
