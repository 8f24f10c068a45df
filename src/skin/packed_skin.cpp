#include "skin/packed_skin.h"

#include <zlib.h>

#include <algorithm>
#include <climits>
#include <stdexcept>

#include "core/byte_io.h"
#include "core/log.h"
#include "skin/bmp.h"

namespace vesperon {

int32_t FindImage(const std::vector<TSkinImage>& images, std::string_view name) {
  const std::string_view key = ShortString(name);
  for (std::size_t i = 0; i < images.size(); ++i)
    if (images[i].Name == key) return static_cast<int32_t>(i);
  return -1;
}

std::string LayoutPackedSkin(std::string_view description,
                             const std::vector<TImageRecord>& records) {
  std::string out;
  std::size_t total = 8 + description.size();
  for (const TImageRecord& r : records) total += kImageRecordHeaderSize + r.Bitmap.size();
  out.reserve(total);
  PutI64(out, static_cast<int64_t>(description.size()));
  out += description;
  for (const TImageRecord& r : records) {
    const std::string_view name = ShortString(r.Name);
    PutI64(out, static_cast<int64_t>(r.Bitmap.size()));
    PutU8(out, static_cast<uint8_t>(name.size()));
    out += name;
    out.append(kShortStringMax - name.size(), '\0');
    PutU8(out, r.IsMask ? 1 : 0);
    out += r.Bitmap;
  }
  return out;
}

std::string CompressPackedSkin(std::string_view layout) {
  uLongf size = compressBound(static_cast<uLong>(layout.size()));
  std::string out(size, '\0');
  const int rc = compress2(reinterpret_cast<Bytef*>(out.data()), &size,
                           reinterpret_cast<const Bytef*>(layout.data()),
                           static_cast<uLong>(layout.size()), 9);
  if (rc != Z_OK) throw std::runtime_error("zlib could not compress the skin");
  out.resize(size);
  return out;
}

bool InflatePackedSkin(std::string_view compressed, std::string& layout, std::string& error) {
  layout.clear();
  if (compressed.size() > UINT_MAX) {
    error = "the file is too large";
    return false;
  }
  z_stream z{};
  if (inflateInit(&z) != Z_OK) {
    error = "zlib could not be initialised";
    return false;
  }
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(compressed.data()));
  z.avail_in = static_cast<uInt>(compressed.size());
  // Skins shrink to between a tenth and a fortieth; start from a guess and grow.
  layout.resize(std::min(kMaxUnpackedSkinSize,
                         std::max<std::size_t>(compressed.size() * 16, std::size_t{64} * 1024)));
  int rc = Z_OK;
  std::size_t produced = 0;
  while (rc == Z_OK) {
    if (produced == layout.size()) {
      if (layout.size() >= kMaxUnpackedSkinSize) break;
      layout.resize(std::min(kMaxUnpackedSkinSize, layout.size() * 2));
    }
    z.next_out = reinterpret_cast<Bytef*>(layout.data() + produced);
    z.avail_out = static_cast<uInt>(std::min<std::size_t>(layout.size() - produced, 1u << 30));
    const uInt before = z.avail_out;
    rc = inflate(&z, Z_NO_FLUSH);
    produced += before - z.avail_out;
    if (rc == Z_BUF_ERROR && z.avail_in == 0) break;  // input ended before the stream did
    if (rc == Z_BUF_ERROR) rc = Z_OK;                 // output full; grow and go on
  }
  const std::string zmsg = z.msg ? z.msg : "";
  const uInt leftover = z.avail_in;
  inflateEnd(&z);
  layout.resize(produced);
  if (rc == Z_STREAM_END && leftover == 0) return true;
  if (rc == Z_STREAM_END) {
    error = "there is data after the end of the compressed stream";
  } else if (rc == Z_OK) {
    error = "the data unpacks to more than " + std::to_string(kMaxUnpackedSkinSize >> 20) + " MiB";
  } else if (rc == Z_BUF_ERROR) {
    error = "the compressed data ends early";
  } else {
    error = "the compressed data is corrupt" + (zmsg.empty() ? std::string() : " (" + zmsg + ")");
  }
  layout.clear();
  return false;
}

namespace {

// Reads one record. A bitmap that does not decode costs only itself: it is
// left out with a warning, and the skin finds no image of that name.
bool ReadImageRecord(TByteReader& in, int index, std::string_view origin, TPackedSkin& skin,
                     std::string& error) {
  const std::string which = "image record " + std::to_string(index + 1);
  if (in.Remaining() < kImageRecordHeaderSize) {
    error = which + " is cut off in its header";
    return false;
  }
  const int64_t size = in.I64();
  const uint8_t nameLength = in.U8();
  const std::string_view nameField = in.Bytes(kShortStringMax);
  TSkinImage image;
  image.Name = std::string(nameField.substr(0, nameLength));
  image.IsMask = in.U8() != 0;
  const std::string named = which + " (\"" + image.Name + "\")";
  if (size < 0 || static_cast<uint64_t>(size) > in.Remaining()) {
    error = named + " is cut off: " + std::to_string(size) + " bytes announced, " +
            std::to_string(in.Remaining()) + " present";
    return false;
  }
  std::string bmpError;
  TBmpFormat format;
  if (!DecodeBmp(in.Bytes(static_cast<std::size_t>(size)), image.Image, bmpError, &format)) {
    LogWarning("could not load the image \"" + image.Name + "\" of the skin " +
               std::string(origin) + ": " + bmpError + "; the skin is loaded without it");
    return true;
  }
  image.BitCount = format.BitCount;
  image.Planes = format.Planes;
  skin.Images.push_back(std::move(image));
  return true;
}

}  // namespace

namespace {

bool ReadLayout(std::string_view layout, std::string_view origin, TPackedSkin& skin,
                std::string& error) {
  TByteReader in(layout);
  const int64_t length = in.I64();
  if (in.Failed()) {
    error = "the description's length is cut off";
    return false;
  }
  if (length < 0 || static_cast<uint64_t>(length) > in.Remaining()) {
    error = "the description's length (" + std::to_string(length) +
            " bytes) runs past the end of the data (" + std::to_string(in.Remaining()) + " bytes)";
    return false;
  }
  skin.Description = std::string(in.Bytes(static_cast<std::size_t>(length)));
  for (int index = 0; in.Remaining() > 0; ++index)
    if (!ReadImageRecord(in, index, origin, skin, error)) return false;
  const pugi::xml_parse_result parsed = skin.Document.load_buffer(
      skin.Description.data(), skin.Description.size(), kDescriptionParseOptions);
  if (!parsed) {
    error = std::string("the description is not well-formed XML (") + parsed.description() +
            " at byte " + std::to_string(parsed.offset) + ")";
    return false;
  }
  return true;
}

void Clear(TPackedSkin& skin) {
  skin.Description.clear();
  skin.Document.reset();
  skin.Images.clear();
}

}  // namespace

bool ReadPackedLayout(std::string_view layout, TPackedSkin& skin, std::string& error,
                      std::string_view origin) {
  Clear(skin);
  if (ReadLayout(layout, origin, skin, error)) return true;
  Clear(skin);
  return false;
}

bool ReadPackedSkin(std::string_view compressed, std::string_view origin, TPackedSkin& skin) {
  std::string layout, error;
  if (InflatePackedSkin(compressed, layout, error) && ReadPackedLayout(layout, skin, error, origin))
    return true;
  LogError("could not load the skin " + std::string(origin) + ": " + error);
  Clear(skin);
  return false;
}

}  // namespace vesperon
