#include <iostream>
#include <string>
#include <vector>

#include "tools/tokenize/tokenize_tool.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  return quirvel::RunTokenizeTool(args, std::cin, std::cout, std::cerr);
}
