// The tokenize tool: loads a tokenizer file and writes, for every line of input,
// the ids that encode gives (or their token texts) as one JSON array per line.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace quirvel {

// args excludes the program name. Returns the exit code: 0 done, 1 the tokenizer
// file cannot be used, 2 bad command line.
int RunTokenizeTool(const std::vector<std::string>& args, std::istream& in, std::ostream& out, std::ostream& err);

}  // namespace quirvel
