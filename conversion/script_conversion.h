// Traditional/Simplified conversion through OpenCC. Never fails visibly: when a
// conversion cannot be made the text comes back unchanged.
#pragma once

#include <string>

namespace quirvel {

// Taiwan Traditional -> Simplified ("tw2sp.json"); the configuration is chosen
// once, at the first call.
std::string NormalizeScript(const std::string& text);
// Simplified -> Taiwan Traditional ("s2twp.json" in the host OpenCC directory).
std::string ToTraditional(const std::string& text);

}  // namespace quirvel
