#include "core/documents.h"

#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace vesperon {
namespace {

constexpr std::string_view kReadme =
    "+-----------------------------------------+\r\n"
    "|     Vesperon NG  -  4.0 ALPHA 3         |\r\n"
    "+-----------------------------------------+\r\n"
    "\r\n"
    "Vesperon is a skinnable audio player. Its whole face comes from a skin,\r\n"
    "it keeps a database of your songs and fades from one song into the next.\r\n"
    "\r\n"
    "Requirements:\r\n"
    "  - a sound card\r\n"
    "  - 2 MB of free disk space\r\n"
    "  - 16 MB or more of free memory, depending on the skin, the size of the\r\n"
    "    media database and the size of the sounds\r\n"
    "\r\n"
    "Windows:\r\n"
    "  - not supported by this build\r\n"
    "Linux:\r\n"
    "  - an X11 desktop (a system tray is welcome)\r\n"
    "  - PulseAudio, PipeWire or ALSA for the sound\r\n"
    "Mac:\r\n"
    "  - not supported yet\r\n"
    "\r\n"
    "Parameters:\r\n"
    "  -d  --debug\t\twrite every progress line to the log file\r\n"
    "  -s  --silent\t\tno log file, no warnings, no questions\r\n"
    "  -f  --force\t\twith --silent, --uninstall also removes the program\r\n"
    "  -u  --update\t\tcheck for an update and install it before starting\r\n"
    "  --display=DISPLAY\tthe X11 display to use\r\n"
    "  -h  --help\t\tshow the help and exit\r\n"
    "  --uninstall\t\tremove Vesperon, its files and its skins\r\n"
    "  --logscript\t\twrite the compiled skin scripts to the log file\r\n"
    "  --compileskin=SKIN\tpack the skin described by SKIN and exit\r\n"
    "  --adddir=DIR\t\tadd DIR and all its subfolders to the media database\r\n"
    "  [file]\t\topen this file after starting\r\n"
    "\r\n"
    "Return values:\r\n"
    "  0: everything went well\r\n"
    "  1: an error during start-up\r\n"
    "  2: an error during shutdown\r\n"
    "  3: the audio library could not be used\r\n"
    "  4: the skin could not be loaded\r\n"
    "  100: the skin to compile was not found\r\n";

constexpr std::string_view kChangeLog =
    "Vesperon NG - Changelog\r\n"
    "\r\n"
    "07.12.2026 Version 4.0 ALPHA 3\r\n"
    "F: the settings are saved when the player is ended by the system\r\n"
    "F: a first start creates the help folder before writing into it\r\n"
    "U: settings.xml is replaced in one step, never left half written\r\n"
    "N: the key table takes a key for the About entry of the tray menu\r\n"
    "\r\n"
    "30.11.2026 Version 4.0 ALPHA 2\r\n"
    "N: crossfade between two channels with separate in and out times\r\n"
    "N: skin scripts keep labels and progress bars up to date\r\n"
    "U: the media database sorts by every column\r\n"
    "\r\n"
    "15.11.2026 Version 4.0 ALPHA 1\r\n"
    "N: skins packed into one file\r\n"
    "N: media database with ID3v1 tags\r\n"
    "N: automatic update check\r\n"
    "\r\n"
    "Still to do:\r\n"
    "- playlists that can be saved\r\n"
    "- a skin editor\r\n"
    "\r\n"
    "Known bugs:\r\n"
    "- very long titles scroll a little unevenly\r\n"
    "- the configuration assistant cannot be left with the Escape key\r\n"
    "\r\n"
    "------------------------------------------------------------\r\n"
    "\r\n"
    "Roadmap:\r\n"
    "\r\n"
    "Version 4.0 BETA 1\r\n"
    "- tags of other formats\r\n"
    "- an equalizer\r\n"
    "\r\n"
    "Version 4.0\r\n"
    "- stable skin format\r\n"
    "- translated help pages\r\n";

constexpr std::string_view kHelpIndex = "<html>\r\n</html>";

void WriteDocument(const TDefaultDocument& doc) {
  const std::filesystem::path path(doc.FileName);
  std::error_code ec;
  if (std::filesystem::exists(std::filesystem::symlink_status(path, ec))) return;
  // Without its folder the help page could not be written and every first
  // start would fail.
  if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary);
  out.write(doc.Text.data(), static_cast<std::streamsize>(doc.Text.size()));
  out.close();
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

}  // namespace

const std::vector<TDefaultDocument>& DefaultDocuments() {
  static const std::vector<TDefaultDocument> documents = {
      {"Readme.txt", kReadme},
      {"ChangeLog.txt", kChangeLog},
      {"help/index.html", kHelpIndex},
  };
  return documents;
}

void WriteDefaultDocuments() {
  for (const TDefaultDocument& doc : DefaultDocuments()) WriteDocument(doc);
}

}  // namespace vesperon
