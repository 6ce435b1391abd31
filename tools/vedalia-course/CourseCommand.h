#pragma once
// Sub-commands of vedalia-course register themselves with a static CourseCommandRegistrar
// in their own source file, so that adding one touches no other file.

#include <string>
#include <vector>

namespace vedalia::course {

struct CourseCommand {
  std::string name;   // first word on the command line, e.g. "inspect" or "db"
  std::string usage;  // one or more lines for the help text
  // Arguments after the command word. Returns the process exit code
  // (0 success, 1 failure of the operation, 2 bad usage).
  int (*run)(const std::vector<std::string>& args);
};

void RegisterCommand(CourseCommand command);

struct CourseCommandRegistrar {
  explicit CourseCommandRegistrar(CourseCommand command) { RegisterCommand(std::move(command)); }
};

}  // namespace vedalia::course
