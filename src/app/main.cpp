// The process entry: hands the command line to the application.
#include <string>
#include <vector>

#include "app/application.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  return vesperon::RunApplication(args);
}
