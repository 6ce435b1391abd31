#include <QCoreApplication>
#include <algorithm>
#include <iostream>

#include "CourseCommand.h"

namespace vedalia::course {
namespace {
std::vector<CourseCommand>& registry() {
  static std::vector<CourseCommand> commands;
  return commands;
}

void printUsage(std::ostream& out) {
  out << "usage: vedalia-course COMMAND [ARGS...]\n\ncommands:\n";
  auto commands = registry();
  std::sort(commands.begin(), commands.end(),
            [](const CourseCommand& a, const CourseCommand& b) { return a.name < b.name; });
  for (const auto& c : commands) out << "  " << c.usage << "\n";
}
}  // namespace

void RegisterCommand(CourseCommand command) { registry().push_back(std::move(command)); }
}  // namespace vedalia::course

int main(int argc, char** argv) {
  using namespace vedalia::course;
  QCoreApplication app(argc, argv);
  if (argc < 2 || std::string(argv[1]) == "--help" || std::string(argv[1]) == "help") {
    printUsage(argc < 2 ? std::cerr : std::cout);
    return argc < 2 ? 2 : 0;
  }
  const std::string name = argv[1];
  for (const auto& c : registry()) {
    if (c.name == name) return c.run(std::vector<std::string>(argv + 2, argv + argc));
  }
  std::cerr << "vedalia-course: unknown command \"" << name << "\"\n";
  printUsage(std::cerr);
  return 2;
}
