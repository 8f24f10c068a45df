#include "skin/bmp.h"

#include <array>
#include <bit>
#include <vector>

#include "core/byte_io.h"

// The decoder runs in stages: file header, info header, bit masks, palette,
// pixel rows. Each stage checks what it read before the next one uses it.

namespace vesperon {
namespace {

constexpr std::size_t kFileHeaderSize = 14;
constexpr uint32_t kCoreHeaderSize = 12;
constexpr uint32_t kInfoHeaderSize = 40;
constexpr uint32_t kOs2HeaderSize = 64;
constexpr uint32_t kLargestHeaderSize = 124;

enum TCompression : uint32_t {
  bcRgb = 0,
  bcRle8 = 1,
  bcRle4 = 2,
  bcBitFields = 3,
  bcJpeg = 4,
  bcPng = 5,
  bcAlphaBitFields = 6,
};

struct TChannelMask {
  uint32_t Mask = 0;
  int Shift = 0;
  uint32_t Max = 0;  // largest value after shifting; 0 for an empty mask

  uint8_t Extract(uint32_t pixel) const {
    if (Max == 0) return 0;
    const uint32_t v = (pixel & Mask) >> Shift;
    return static_cast<uint8_t>((uint64_t{v} * 255 + Max / 2) / Max);
  }
};

struct THeader {
  uint32_t PixelOffset = 0;  // from the file header
  uint32_t HeaderSize = 0;
  int32_t Width = 0;
  int32_t Height = 0;  // always positive once parsed; see TopDown
  bool TopDown = false;
  uint16_t Planes = 0;
  uint16_t BitCount = 0;
  uint32_t Compression = bcRgb;
  uint32_t ColorsUsed = 0;
  bool HasMasks = false;
  uint32_t MaskBytesAfterHeader = 0;    // masks stored between a 40-byte header and the palette
  std::array<TChannelMask, 3> Masks{};  // red, green, blue
};

using TPalette = std::vector<std::array<uint8_t, 3>>;  // blue, green, red

bool Refuse(std::string& error, std::string text) {
  error = std::move(text);
  return false;
}

bool ReadFileHeader(TByteReader& in, THeader& h, std::string& error) {
  if (in.Remaining() < kFileHeaderSize + 4)
    return Refuse(error, "the file is too short for a BMP header");
  if (in.U8() != 'B' || in.U8() != 'M')
    return Refuse(error, "not a BMP file (no \"BM\" signature)");
  in.Skip(8);  // file size and reserved words: writers disagree about them
  h.PixelOffset = in.U32();
  return true;
}

bool ReadCoreHeader(TByteReader& in, THeader& h) {
  h.Width = in.U16();
  h.Height = in.U16();
  h.Planes = in.U16();
  h.BitCount = in.U16();
  return !in.Failed();
}

bool ReadInfoHeader(TByteReader& in, THeader& h, std::string& error) {
  h.Width = in.I32();
  h.Height = in.I32();
  h.Planes = in.U16();
  h.BitCount = in.U16();
  h.Compression = in.U32();
  in.Skip(12);  // image size and resolutions; the size is recomputed from the dimensions
  h.ColorsUsed = in.U32();
  in.Skip(4);
  if (in.Failed()) return Refuse(error, "the info header is cut off");
  if (h.Height < 0) {
    if (h.Height == INT32_MIN) return Refuse(error, "invalid height");
    h.Height = -h.Height;
    h.TopDown = true;
  }
  return true;
}

bool MakeMask(uint32_t mask, TChannelMask& out) {
  out = {};
  if (mask == 0) return true;
  const int shift = std::countr_zero(mask);
  const uint32_t shifted = mask >> shift;
  if ((shifted & (shifted + 1)) != 0) return false;  // not one contiguous run of bits
  out.Mask = mask;
  out.Shift = shift;
  out.Max = shifted;
  return true;
}

// The masks of files without their own: 5-5-5 for 16 bits, 8-8-8 for 32.
void UseDefaultMasks(THeader& h) {
  const bool wide = h.BitCount == 32;
  MakeMask(wide ? 0xFF0000 : 0x7C00, h.Masks[0]);
  MakeMask(wide ? 0x00FF00 : 0x03E0, h.Masks[1]);
  MakeMask(wide ? 0x0000FF : 0x001F, h.Masks[2]);
}

// Masks live inside headers of 52 bytes and more, or right after a 40-byte header.
bool ReadMasks(TByteReader& in, THeader& h, std::string& error) {
  if (h.Compression != bcBitFields && h.Compression != bcAlphaBitFields) return true;
  if (h.BitCount != 16 && h.BitCount != 32)
    return Refuse(error, "bit-field masks with " + std::to_string(h.BitCount) + " bits per pixel");
  const std::size_t at = kFileHeaderSize + kInfoHeaderSize;
  h.HasMasks = true;
  if (h.HeaderSize == kInfoHeaderSize) {
    // Some writers announce bit fields after a 40-byte header but let the
    // pixels start right there; their masks are the usual ones.
    if (h.PixelOffset == at) {
      UseDefaultMasks(h);
      return true;
    }
    h.MaskBytesAfterHeader = h.Compression == bcAlphaBitFields ? 16 : 12;
  }
  if (!in.Seek(at)) return Refuse(error, "the bit-field masks are cut off");
  const uint32_t r = in.U32(), g = in.U32(), b = in.U32();
  if (in.Failed()) return Refuse(error, "the bit-field masks are cut off");
  if (!MakeMask(r, h.Masks[0]) || !MakeMask(g, h.Masks[1]) || !MakeMask(b, h.Masks[2]))
    return Refuse(error, "the bit-field masks are not contiguous");
  if (h.BitCount == 16 && ((r | g | b) >> 16) != 0)
    return Refuse(error, "the bit-field masks exceed 16 bits");
  return true;
}

bool CheckHeader(const THeader& h, std::string& error) {
  switch (h.Compression) {
    case bcRgb:
    case bcBitFields:
    case bcAlphaBitFields: break;
    case bcRle8:
    case bcRle4: return Refuse(error, "RLE-compressed bitmaps are not supported");
    case bcJpeg:
    case bcPng: return Refuse(error, "JPEG- or PNG-compressed bitmaps are not supported");
    default: return Refuse(error, "unknown compression " + std::to_string(h.Compression));
  }
  if (h.HeaderSize == kOs2HeaderSize && h.Compression != bcRgb)
    return Refuse(error, "compressed OS/2 bitmaps are not supported");
  switch (h.BitCount) {
    case 1:
    case 4:
    case 8:
    case 16:
    case 24:
    case 32: break;
    default: return Refuse(error, "unsupported bit count " + std::to_string(h.BitCount));
  }
  if (h.Width <= 0 || h.Width > kMaxBmpDimension)
    return Refuse(error, "invalid width " + std::to_string(h.Width));
  if (h.Height <= 0 || h.Height > kMaxBmpDimension)
    return Refuse(error, "invalid height " + std::to_string(h.Height));
  if (int64_t{h.Width} * h.Height > kMaxBmpPixels)
    return Refuse(error, "the image of " + std::to_string(h.Width) + " x " +
                             std::to_string(h.Height) + " pixels is too large");
  return true;
}

bool ReadPalette(TByteReader& in, const THeader& h, TPalette& palette, std::size_t& end,
                 std::string& error) {
  const bool core = h.HeaderSize == kCoreHeaderSize;
  const std::size_t at = kFileHeaderSize + h.HeaderSize + h.MaskBytesAfterHeader;
  end = at;
  if (h.BitCount > 8) return true;
  const uint32_t full = 1u << h.BitCount;
  const uint32_t count = (h.ColorsUsed == 0 || h.ColorsUsed > full) ? full : h.ColorsUsed;
  const std::size_t entry = core ? 3 : 4;
  if (!in.Seek(at) || in.Remaining() < count * entry)
    return Refuse(error, "the palette is cut off");
  palette.resize(count);
  for (auto& c : palette) {
    c = {in.U8(), in.U8(), in.U8()};
    if (!core) in.Skip(1);
  }
  end = in.Position();
  return true;
}

// Pixel rows start at the offset the file header names when that offset is
// plausible; otherwise right after the header and palette.
std::size_t PixelStart(const THeader& h, std::size_t paletteEnd, std::size_t fileSize) {
  if (h.PixelOffset >= paletteEnd && h.PixelOffset <= fileSize) return h.PixelOffset;
  return paletteEnd;
}

void PutPixel(uint8_t* out, uint8_t b, uint8_t g, uint8_t r) {
  out[0] = b;
  out[1] = g;
  out[2] = r;
  out[3] = 0;
}

void DecodeIndexedRow(const uint8_t* src, uint8_t* out, const THeader& h, const TPalette& palette) {
  const int bits = h.BitCount;
  const int perByte = 8 / bits;
  const uint8_t mask = static_cast<uint8_t>((1u << bits) - 1);
  for (int32_t x = 0; x < h.Width; ++x, out += 4) {
    const uint8_t byte = src[x / perByte];
    const int shift = 8 - bits * (x % perByte + 1);
    const uint8_t index = (byte >> shift) & mask;
    if (index < palette.size()) {
      PutPixel(out, palette[index][0], palette[index][1], palette[index][2]);
    } else {
      PutPixel(out, 0, 0, 0);  // an index past a short palette shows black
    }
  }
}

void DecodeMaskedRow(const uint8_t* src, uint8_t* out, const THeader& h) {
  const int bytes = h.BitCount / 8;
  for (int32_t x = 0; x < h.Width; ++x, src += bytes, out += 4) {
    uint32_t v = 0;
    for (int i = 0; i < bytes; ++i) v |= static_cast<uint32_t>(src[i]) << (8 * i);
    PutPixel(out, h.Masks[2].Extract(v), h.Masks[1].Extract(v), h.Masks[0].Extract(v));
  }
}

void DecodeRow(const uint8_t* src, uint8_t* out, const THeader& h, const TPalette& palette) {
  switch (h.BitCount) {
    case 24:
      for (int32_t x = 0; x < h.Width; ++x, src += 3, out += 4)
        PutPixel(out, src[0], src[1], src[2]);
      break;
    case 32:
      if (!h.HasMasks) {
        for (int32_t x = 0; x < h.Width; ++x, src += 4, out += 4)
          PutPixel(out, src[0], src[1], src[2]);
      } else {
        DecodeMaskedRow(src, out, h);
      }
      break;
    case 16: DecodeMaskedRow(src, out, h); break;
    default: DecodeIndexedRow(src, out, h, palette); break;
  }
}

bool DecodePixels(TByteReader& in, const THeader& h, const TPalette& palette, std::size_t start,
                  std::string_view file, TImage& image, std::string& error) {
  const uint64_t rowBits = uint64_t{static_cast<uint32_t>(h.Width)} * h.BitCount;
  const uint64_t stride = (rowBits + 31) / 32 * 4;
  // The last row's padding is often left out by writers; it is not needed.
  const uint64_t needed = stride * (h.Height - 1) + (rowBits + 7) / 8;
  if (!in.Seek(start) || in.Remaining() < needed)
    return Refuse(error, "the pixel data is cut off (" + std::to_string(needed) +
                             " bytes needed, " + std::to_string(in.Remaining()) + " present)");
  image.Width = h.Width;
  image.Height = h.Height;
  image.Pixels.resize(static_cast<std::size_t>(h.Width) * h.Height * 4);
  const auto* base = reinterpret_cast<const uint8_t*>(file.data()) + start;
  for (int32_t y = 0; y < h.Height; ++y) {
    const int32_t row = h.TopDown ? y : h.Height - 1 - y;
    DecodeRow(base + stride * row, image.Pixel(0, y), h, palette);
  }
  return true;
}

bool ReadHeaders(TByteReader& in, THeader& h, std::string& error) {
  if (!ReadFileHeader(in, h, error)) return false;
  h.HeaderSize = in.U32();
  if (h.HeaderSize == kCoreHeaderSize) {
    if (!ReadCoreHeader(in, h)) return Refuse(error, "the core header is cut off");
  } else if (h.HeaderSize >= kInfoHeaderSize && h.HeaderSize <= kLargestHeaderSize &&
             h.HeaderSize % 4 == 0) {
    if (!ReadInfoHeader(in, h, error)) return false;
    if (in.Remaining() < h.HeaderSize - kInfoHeaderSize)
      return Refuse(error, "the info header is cut off");
  } else {
    return Refuse(error, "unsupported header size " + std::to_string(h.HeaderSize));
  }
  if (h.BitCount == 16 && h.Compression == bcRgb) UseDefaultMasks(h);
  return CheckHeader(h, error) && ReadMasks(in, h, error);
}

}  // namespace

bool DecodeBmp(std::string_view file, TImage& image, std::string& error, TBmpFormat* format) {
  image = TImage{};
  TByteReader in(file);
  THeader h;
  TPalette palette;
  std::size_t paletteEnd = 0;
  if (!ReadHeaders(in, h, error) || !ReadPalette(in, h, palette, paletteEnd, error)) return false;
  if (!DecodePixels(in, h, palette, PixelStart(h, paletteEnd, file.size()), file, image, error)) {
    image = TImage{};
    return false;
  }
  if (format) *format = {h.BitCount, h.Planes};
  return true;
}

std::string EncodeBmp24(const TImage& image) {
  const uint32_t stride = (static_cast<uint32_t>(image.Width) * 3 + 3) / 4 * 4;
  const uint32_t dataSize = stride * static_cast<uint32_t>(image.Height);
  const uint32_t offset = kFileHeaderSize + kInfoHeaderSize;
  std::string out;
  out.reserve(offset + dataSize);
  out += "BM";
  PutU32(out, offset + dataSize);
  PutU32(out, 0);
  PutU32(out, offset);
  PutU32(out, kInfoHeaderSize);
  PutI32(out, image.Width);
  PutI32(out, image.Height);
  PutU16(out, 1);
  PutU16(out, 24);
  PutU32(out, bcRgb);
  PutU32(out, dataSize);
  PutI32(out, 2835);  // 72 dots per inch
  PutI32(out, 2835);
  PutU32(out, 0);
  PutU32(out, 0);
  for (int32_t y = image.Height - 1; y >= 0; --y) {
    for (int32_t x = 0; x < image.Width; ++x) {
      const uint8_t* p = image.Pixel(x, y);
      out.append(reinterpret_cast<const char*>(p), 3);
    }
    out.append(stride - static_cast<uint32_t>(image.Width) * 3, '\0');
  }
  return out;
}

}  // namespace vesperon
