// Script conversion through OpenCC's C interface. Every call opens its own
// converter and closes it before returning, so no OpenCC state is shared; any
// failure gives the text back unchanged.
#include "conversion/script_conversion.h"

#include <cstdint>
#include <mutex>
#include <opencc/opencc.h>
#include <optional>
#include <utility>

#include "host/resources.h"

namespace quirvel {
namespace {

constexpr const char* kToTraditionalConfig = "s2twp.json";

// Owns one OpenCC converter; closes it when the call that opened it returns.
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

std::string ConvertOrPassThrough(const std::string& config_path, const std::string& text) {
  const OpenccConverter converter(config_path);
  if (!converter.IsOpen()) return text;
  return converter.Convert(text).value_or(text);
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
  return ConvertOrPassThrough(ToLibraryPath(config), text);
}

std::string ToTraditional(const std::string& text) {
  const std::string config = JoinPath(HostOpenccResourceDir(), kToTraditionalConfig);
  if (text.empty()) return text;
  return ConvertOrPassThrough(config, text);
}

}  // namespace quirvel
