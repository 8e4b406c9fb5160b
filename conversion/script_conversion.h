// Traditional/Simplified conversion through OpenCC. Never fails visibly: when a
// conversion cannot be made the text comes back unchanged.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace quirvel {

// Taiwan Traditional -> Simplified ("tw2sp.json"); the configuration is chosen
// once, at the first call.
std::string NormalizeScript(const std::string& text);
// Simplified -> Taiwan Traditional ("s2twp.json" in the host OpenCC directory).
std::string ToTraditional(const std::string& text);

// Each text converted as ToTraditional converts it alone, when a
// KeptConverters lives: the kept converter remembers its answers, so a text
// asked for again (a character of the next title) costs a lookup, not a
// conversion. Without kept converters, nothing: each conversion would open its
// own converter, so the caller converts these texts with its others in one.
std::optional<std::vector<std::string>> RememberedToTraditional(const std::vector<std::string>& texts);

// Opening a converter loads its configuration's dictionaries, which costs far
// more than converting a title. While an object of this class lives, each of
// the two configurations keeps the converter it opened at its first use and
// every later conversion reuses it; when it goes, it closes them and each
// conversion opens its own again. A converter that could not be opened is not
// kept, so the next conversion tries again. Dictionary files changed meanwhile
// take effect only once the converters are closed. One may live at a time.
class KeptConverters {
 public:
  KeptConverters();
  ~KeptConverters();
  KeptConverters(const KeptConverters&) = delete;
  KeptConverters& operator=(const KeptConverters&) = delete;
};

}  // namespace quirvel
