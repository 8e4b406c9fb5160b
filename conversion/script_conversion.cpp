// Placeholder until script conversion lands: text passes through unchanged.
#include "conversion/script_conversion.h"

namespace quirvel {
std::string NormalizeScript(const std::string& text) { return text; }
std::string ToTraditional(const std::string& text) { return text; }
}  // namespace quirvel
