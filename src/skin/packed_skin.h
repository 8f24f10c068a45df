#pragma once
// The packed skin file (".vsf"): one zlib stream, compressed at level 9,
// whose content is
//   8 bytes   L, the description's length, signed little-endian
//   L bytes   the skin description (XML), byte for byte
//   then image records back to back until the end, each
//     8 bytes    B, the bitmap file's size, signed little-endian
//     256 bytes  the name as a short string: length byte n, n bytes, filler
//     1 byte     IsMask (1 for stencils and corner masks)
//     B bytes    the BMP file, byte for byte
// There is no count and no index.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <pugixml.hpp>

#include "skin/skin_image.h"

namespace vesperon {

// Inflating stops with an error beyond this size, so a small hostile file
// cannot make the program allocate without bound.
inline constexpr std::size_t kMaxUnpackedSkinSize = std::size_t{512} * 1024 * 1024;
inline constexpr std::size_t kImageRecordHeaderSize = 8 + 256 + 1;

// The description is read with line ends as written: a carriage return
// inside a script's text stays, so the script compiler counts its lines right.
inline constexpr unsigned kDescriptionParseOptions = pugi::parse_default & ~pugi::parse_eol;

// One image as the compiler packs it.
struct TImageRecord {
  std::string Name;  // cut to a short string when written
  bool IsMask = false;
  std::string Bitmap;  // the BMP file's bytes
};

// The decompressed layout of a packed skin, and the compressed file.
std::string LayoutPackedSkin(std::string_view description,
                             const std::vector<TImageRecord>& records);
std::string CompressPackedSkin(std::string_view layout);

// A packed skin as read: the description's bytes and parsed document, and
// the decoded images in file order.
struct TPackedSkin {
  std::string Description;
  pugi::xml_document Document;
  std::vector<TSkinImage> Images;
};

// Inflates a packed file. False (with `error` set) for corrupt or cut data,
// data after the end of the stream, or more than kMaxUnpackedSkinSize bytes.
bool InflatePackedSkin(std::string_view compressed, std::string& layout, std::string& error);

// Reads the decompressed layout: the description (parsed as XML) and every
// image record, decoding each bitmap. False (with `error` set) when a length
// runs past the end, a record is cut off or the description is not
// well-formed XML. A bitmap that does not decode (an RLE or PNG picture, a
// bad header) is left out with a warning naming it, the reason and `origin`
// (the skin); the skin then finds no image of that name.
bool ReadPackedLayout(std::string_view layout, TPackedSkin& skin, std::string& error,
                      std::string_view origin = "(unnamed)");

// Both steps; a failure is logged as an error naming `origin` (the file, or
// the built-in skin) and the problem.
bool ReadPackedSkin(std::string_view compressed, std::string_view origin, TPackedSkin& skin);

}  // namespace vesperon
