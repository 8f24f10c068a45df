#pragma once
// The skin compiler: packs a skin description and every bitmap it names
// into one packed skin file (".vsf") beside the description.
#include <filesystem>
#include <string>
#include <vector>

#include <pugixml.hpp>

#include "skin/packed_skin.h"

namespace vesperon {

// Exit codes of "--compileskin=": done, and description not found. A
// description that cannot be parsed or a file that cannot be written ends
// with kCompileFailed and one line on standard error.
inline constexpr int kCompileDone = 0;
inline constexpr int kCompileFailed = 1;
inline constexpr int kCompileSourceMissing = 100;

// The images a "skin" element references, in packing order, each once
// (names compared exactly), reading the files from `baseDir`. References
// whose file does not exist are left out without a message; names that lead
// outside `baseDir` (absolute, climbing with "..", through a symbolic link)
// are left out and added to `refused`.
std::vector<TImageRecord> CollectSkinImages(const pugi::xml_node& skin,
                                            const std::filesystem::path& baseDir,
                                            std::vector<std::string>* refused = nullptr);

// Compiles the description at `description` into the same path with the
// extension ".vsf" (written to a temporary file, then renamed). Returns the
// exit code. Nothing is logged.
int CompileSkin(const std::filesystem::path& description);

// The file CompileSkin writes for a description.
std::filesystem::path PackedSkinPath(const std::filesystem::path& description);

}  // namespace vesperon
