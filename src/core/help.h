#pragma once
// The text printed for --help.
#include <ostream>
#include <string>
#include <vector>

namespace vesperon {

// Every line of the help, the title line first and the empty last line
// included, without line ends.
std::vector<std::string> HelpLines();

// Prints the help to `out`, one line each. Nothing is printed when `out`
// cannot be written (standard output closed).
void PrintHelp(std::ostream& out);

}  // namespace vesperon
