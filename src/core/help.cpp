#include "core/help.h"

#include "core/version.h"

namespace vesperon {

std::vector<std::string> HelpLines() {
  return {
      std::string("Vesperon ") + kVersionText + " - Help",
      "",
      "vesperon [options] [file]",
      "",
      "[options] could be one or more of the following parameter:",
      "-d  --debug         write everything to output and logfiles",
      "-s  --silent        don't write any output or logfiles",
      "-f  --force         don't ask before uninstallation",
      "-u  --update        check for update on start and update",
      "--display=DISPLAY   use \"DISPLAY\" as the X11 display",
      "-h  --help          displays this help",
      "--uninstall         removes vesperon and all skins",
      "--logscript         writes the compiled script to the logfile",
      "",
      "--compileskin=SKIN  creates the skin given by SKIN and exits",
      "--adddir=DIR        adds the directory DIR and all subfolders to the media-db",
      "",
  };
}

void PrintHelp(std::ostream& out) {
  for (const std::string& line : HelpLines()) out << line << '\n';
  out.flush();
}

}  // namespace vesperon
