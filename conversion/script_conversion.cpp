// Script conversion through OpenCC's C interface. Each call opens its own
// converter and closes it before returning, so no OpenCC state is shared,
// unless a KeptConverters lives: then each configuration's converter stays
// open and the calls take turns on it. Any failure gives the text back
// unchanged.
#include "conversion/script_conversion.h"

#include <opencc/opencc.h>
#include <array>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <unordered_map>
#include <utility>

#include "host/resources.h"

namespace quirvel {
namespace {

constexpr const char* kToTraditionalConfig = "s2twp.json";

// The two configurations, as indices of the kept converters.
enum Configuration : std::size_t { kNormalization, kToTraditional, kConfigurationCount };

// Owns one OpenCC converter and closes it when it goes.
class OpenccConverter {
 public:
  explicit OpenccConverter(const std::string& config_path) : handle_(opencc_open(config_path.c_str())) {}
  ~OpenccConverter() {
    if (IsOpen()) opencc_close(handle_);
  }
  OpenccConverter(const OpenccConverter&) = delete;
  OpenccConverter& operator=(const OpenccConverter&) = delete;

  bool IsOpen() const { return handle_ != FailedHandle(); }

  std::optional<std::string> Convert(const std::string& text) const {
    char* converted = opencc_convert_utf8(handle_, text.data(), text.size());
    if (converted == nullptr) return std::nullopt;
    std::string copy(converted);
    opencc_convert_utf8_free(converted);
    return copy;
  }

 private:
  // OpenCC reports a failed open as the all-ones handle.
  static opencc_t FailedHandle() {
    return reinterpret_cast<opencc_t>(static_cast<std::intptr_t>(-1));  // NOLINT(performance-no-int-to-ptr)
  }

  opencc_t handle_;
};

// The library hands its result back as a C string, so a NUL in the text
// would end it there: each run between NULs converts on its own, and the NULs
// stay where they were. A run that fails to convert stays as it was.
std::string ConvertWith(const OpenccConverter& converter, const std::string& text) {
  if (!converter.IsOpen()) return text;
  if (text.find('\0') == std::string::npos) return converter.Convert(text).value_or(text);
  std::string converted;
  for (std::size_t start = 0;;) {
    const std::size_t nul = text.find('\0', start);
    const std::string run = text.substr(start, nul == std::string::npos ? std::string::npos : nul - start);
    converted += converter.Convert(run).value_or(run);
    if (nul == std::string::npos) return converted;
    converted += '\0';
    start = nul + 1;
  }
}

// Most texts a kept converter remembers (it starts over when full): every
// character the titles of a shop use fits many times over, and hostile input
// cannot grow it further.
constexpr std::size_t kMostRemembered = 1U << 16;

// A converter kept open, with the texts it converted alone for
// RememberedToTraditional; they go when it goes.
struct KeptConverter {
  explicit KeptConverter(const std::string& path) : converter(path) {}

  OpenccConverter converter;
  std::unordered_map<std::string, std::string> remembered;
};

// A configuration's kept converter and the path it was opened on.
struct KeptSlot {
  std::string path;
  std::optional<KeptConverter> kept;
};

// What a living KeptConverters keeps; guarded by KeptMutex().
struct KeptState {
  bool active = false;
  std::array<KeptSlot, kConfigurationCount> slots;
};

std::mutex& KeptMutex() {
  static std::mutex mutex;
  return mutex;
}

KeptState& Kept() {
  static KeptState state;
  return state;
}

// The slot's converter, opened on `path` now when it holds none for that path;
// null when it cannot be opened, and then nothing is kept, so the next
// conversion tries again.
KeptConverter* KeptConverterFor(KeptSlot& slot, const std::string& path) {
  if (!slot.kept || slot.path != path) {
    slot.kept.emplace(path);  // closes the one opened on another path first
    slot.path = path;
  }
  if (slot.kept->converter.IsOpen()) return &*slot.kept;
  slot.kept.reset();
  return nullptr;
}

const std::string& RememberedConversion(KeptConverter& kept, const std::string& text) {
  const auto known = kept.remembered.find(text);
  if (known != kept.remembered.end()) return known->second;
  if (kept.remembered.size() >= kMostRemembered) kept.remembered.clear();
  return kept.remembered.emplace(text, ConvertWith(kept.converter, text)).first->second;
}

std::string ConvertOrPassThrough(Configuration configuration, const std::string& config_path,
                                 const std::string& text) {
  {
    const std::lock_guard<std::mutex> lock(KeptMutex());
    if (Kept().active) {
      const KeptConverter* kept = KeptConverterFor(Kept().slots[configuration], config_path);
      return kept != nullptr ? ConvertWith(kept->converter, text) : text;
    }
  }
  return ConvertWith(OpenccConverter(config_path), text);
}

std::string FirstExistingConfig() {
  for (const std::string& candidate : OpenccConfigCandidates())
    if (IsRegularFile(candidate)) return candidate;
  return {};
}

// Chosen at the first conversion and kept for the life of the process, so a
// configuration that appears later has no effect until a restart.
const std::string& NormalizeConfigPath() {
  static std::once_flag once;
  static std::string path;
  std::call_once(once, [] { path = FirstExistingConfig(); });
  return path;
}

}  // namespace

std::string NormalizeScript(const std::string& text) {
  const std::string& config = NormalizeConfigPath();
  if (config.empty()) return text;
  return ConvertOrPassThrough(kNormalization, ToLibraryPath(config), text);
}

// The library opens the configuration with a narrow path, so it gets the same
// form as the normalisation's: an OpenCC folder that is not plain ASCII (a
// temporary folder with Chinese characters, a refused staging) would otherwise
// leave replies in Simplified script. ASCII paths pass through unchanged.
namespace {
std::string ToTraditionalConfigPath() {
  return ToLibraryPath(JoinPath(HostOpenccResourceDir(), kToTraditionalConfig));
}
}  // namespace

std::string ToTraditional(const std::string& text) {
  if (text.empty()) return text;
  return ConvertOrPassThrough(kToTraditional, ToTraditionalConfigPath(), text);
}

std::optional<std::vector<std::string>> RememberedToTraditional(const std::vector<std::string>& texts) {
  const std::string config = ToTraditionalConfigPath();
  const std::lock_guard<std::mutex> lock(KeptMutex());
  if (!Kept().active) return std::nullopt;
  KeptConverter* kept = KeptConverterFor(Kept().slots[kToTraditional], config);
  if (kept == nullptr) return texts;
  std::vector<std::string> converted;
  converted.reserve(texts.size());
  for (const std::string& text : texts)
    converted.push_back(text.empty() ? text : RememberedConversion(*kept, text));
  return converted;
}

KeptConverters::KeptConverters() {
  const std::lock_guard<std::mutex> lock(KeptMutex());
  if (Kept().active) throw std::logic_error("converters are already kept");
  Kept().active = true;
}

KeptConverters::~KeptConverters() {
  const std::lock_guard<std::mutex> lock(KeptMutex());
  for (KeptSlot& slot : Kept().slots) slot.kept.reset();
  Kept().active = false;
}

}  // namespace quirvel
