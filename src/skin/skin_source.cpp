#include "skin/skin_source.h"

#include <system_error>

#include "core/files.h"
#include "core/log.h"
#include "core/paths.h"
#include "core/settings.h"
#include "resources/skins/builtin_skin.h"

namespace vesperon {
namespace {

bool IsFile(const std::filesystem::path& path) {
  std::error_code ec;
  return std::filesystem::is_regular_file(path, ec);
}

}  // namespace

TSkinChoice ChooseSkin(std::u16string_view name) {
  if (name.empty()) return {};
  std::filesystem::path path = PathFromU16(name);
  if (!IsFile(path)) path = ExecutableDir() / "skins" / path;
  if (!IsFile(path)) {
    LogWarning("the skin could not be found. Changing to default...");
    return {};
  }
  std::error_code ec;
  if (std::filesystem::file_size(path, ec) == 0 || ec) {
    LogWarning("the skin is empty! Changing to default...");
    return {};
  }
  return {path};
}

bool LoadSkinPackage(std::u16string_view name, TPackedSkin& skin) {
  const TSkinChoice choice = ChooseSkin(name);
  std::string fileBytes;
  std::string_view compressed = BuiltinSkinFile();
  std::string origin(kBuiltinSkinOrigin);
  if (!choice.Builtin()) {
    origin = "\"" + choice.Path.string() + "\"";
    std::optional<std::string> bytes = ReadWholeFile(choice.Path);
    if (!bytes) {
      LogError("could not load the skin " + origin + ": the file cannot be read");
      return false;
    }
    fileBytes = std::move(*bytes);
    compressed = fileBytes;
  }
  Log("decompressing skin...");
  std::string layout, error;
  if (!InflatePackedSkin(compressed, layout, error)) {
    LogError("could not load the skin " + origin + ": " + error);
    return false;
  }
  Log("decompressed skin");
  if (!ReadPackedLayout(layout, skin, error, origin)) {
    LogError("could not load the skin " + origin + ": " + error);
    return false;
  }
  // Only a file that reads is remembered: a damaged one would otherwise be
  // tried again at every start and end each with the skin error.
  gSettings.LastSkin = choice.Builtin() ? std::u16string() : U16FromPath(choice.Path);
  return true;
}

}  // namespace vesperon
