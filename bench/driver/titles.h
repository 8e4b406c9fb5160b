// Product titles that the driver sends as extract requests.
#pragma once

#include <string>
#include <vector>

namespace quirvel::bench {

// Lines of a titles file, or of every *.txt file of a folder in name order;
// empty lines are skipped. Throws std::runtime_error when nothing can be read.
std::vector<std::string> LoadTitles(const std::string& path);

// A short list of Taiwanese titles of the project's own, used when no titles
// file is at hand.
std::vector<std::string> BuiltInTitles();

}  // namespace quirvel::bench
