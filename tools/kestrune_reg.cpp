// kestrune-reg: query, add, delete and export keys and values of the
// program's registry store from the command line, like the Windows "reg"
// command. The store is the one the desktop program uses ($KESTRUNE_REGISTRY
// selects another database file).
#include <iostream>
#include <string>
#include <vector>

#include "machine/machine.h"
#include "reg_command.h"

int main(int argc, char** argv) {
  using namespace kestrune;
  const std::vector<std::string> args(argv + 1, argv + argc);
  tools::RegCommand command;
  // Bad arguments and the usage need no database, and must not create one.
  if (const auto done = tools::ParseRegCommand(args, command, std::cout, std::cerr)) return *done;

  // The program's own store, without the adapters: the system's media folder
  // reads as missing.
  std::string error;
  auto registry = machine::OpenRegistry({}, L"", error);
  if (!registry) {
    std::cerr << "ERROR: " << error << '\n';
    return tools::kRegExitFailed;
  }
  return tools::ExecuteRegCommand(command, *registry, std::cin, std::cout, std::cerr);
}
