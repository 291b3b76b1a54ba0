// The command line of VidudUDE-Diagnose.exe.
#pragma once

#include <string>
#include <vector>

namespace diagnose {

struct Options {
  bool help = false;
  bool installCheck = false;
  std::string reportFile;  // empty: the report goes only to the console
  std::string error;       // set when the command line is not understood
};

// The arguments after the program's name, as UTF-8.
Options ParseOptions(const std::vector<std::string>& arguments);

// What --help prints, and an unknown option after its error.
extern const char kUsage[];

}  // namespace diagnose
