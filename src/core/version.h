#pragma once
// The product version shown in the help title and the log banner.
namespace vesperon {
inline constexpr int kVersionMajor = 4;
inline constexpr int kVersionMinor = 0;
inline constexpr int kVersionBuild = 8;
inline constexpr const char* kVersionStage = "ALPHA 2";
// "4.0.8 ALPHA 2"
inline constexpr const char* kVersionText = "4.0.8 ALPHA 2";
}  // namespace vesperon
