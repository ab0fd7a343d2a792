// Writes the built-in string table as the language module Res409.lang.
#include <cstdio>
#include <fstream>
#include <iostream>

#include "resources/language_module.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: kestrune-langgen <output file>\n";
    return 2;
  }
  const std::string text = kestrune::res::BuiltinModuleText();
  std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
  out << text;
  out.close();
  if (!out) {
    std::cerr << "kestrune-langgen: cannot write " << argv[1] << "\n";
    return 1;
  }
  return 0;
}
