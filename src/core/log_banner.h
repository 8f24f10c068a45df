#pragma once
// The banner written at the top of every log file.
#include <string>
#include <string_view>
#include <vector>

namespace vesperon {

// "# " + text + " #", with text centred in 37 characters; a text of 37 or
// more characters is framed without padding and makes a longer line.
std::string FrameCentred(std::string_view text);

// The Windows product name for a platform identifier and version numbers,
// as the banner of the original Windows build printed it; kept for logs
// that compare with that build.
std::string WindowsName(int platform, int major, int minor);

// The running operating system in one line ("Linux 6.1.0-18-amd64").
std::string OperatingSystemName();

// Every banner line, without line ends, the empty last line included.
std::vector<std::string> LogBannerLines();

}  // namespace vesperon
