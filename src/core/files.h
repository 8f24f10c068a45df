#pragma once
// Small file helpers used by every subsystem that reads or writes files.
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace vesperon {

// Converts between the UTF-16 file names the program keeps in memory and
// file-system paths (UTF-8 bytes; stray bytes survive, see core/text.h).
std::filesystem::path PathFromU16(std::u16string_view name);
std::u16string U16FromPath(const std::filesystem::path& path);

// The whole file, or nothing when it cannot be read.
std::optional<std::string> ReadWholeFile(const std::filesystem::path& path);

// Writes the bytes to a temporary file in the same folder, flushes it to
// disk and renames it over `path`, so that a crash or a full disk never
// leaves a half-written file in place of the old one. False on failure (the
// old file is then untouched and the temporary file removed).
bool WriteFileAtomically(const std::filesystem::path& path, std::string_view bytes);

}  // namespace vesperon
