// Checks of a Jieba dictionary directory made before the segmenter reads it:
// cppjieba ends the process on a file it cannot open or parse, so every file
// it would refuse is refused here first, with a message the request loop can
// report.
#pragma once

#include <string>

#include "host/resources.h"

namespace quirvel {

// "" when cppjieba can load the dictionary in `dir`; otherwise what is wrong.
// `dir` is a path the process can open directly (the library form).
std::string FindJiebaDictionaryProblem(const std::string& dir);

// Throws std::runtime_error naming the directory (`display_dir`, UTF-8) and
// the problem when the dictionary in `library_dir` cannot be loaded.
void CheckJiebaDictionary(const std::string& display_dir, const std::string& library_dir);

}  // namespace quirvel
