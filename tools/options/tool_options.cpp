#include "tools/options/tool_options.h"

#include <charconv>
#include <cmath>
#include <system_error>
#include <utility>

namespace quirvel::cli {
namespace {

// Quoted, so that an empty value or a stray blank shows in the message.
std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

// from_chars takes no "+"; one in front of a digit is skipped so that "+5"
// reads as 5 while "+-5" and "+" stay errors.
const char* AfterPlus(const std::string& text) {
  const bool plus = text.size() > 1 && text[0] == '+' && text[1] >= '0' && text[1] <= '9';
  return text.data() + (plus ? 1 : 0);
}

// Reads the whole text into value; false for empty text, trailing characters
// or a number the type cannot hold.
template <typename T, typename... Format>
bool ReadWhole(const std::string& text, T& value, Format... format) {
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(AfterPlus(text), end, value, format...);
  return error == std::errc() && stop == end;
}

}  // namespace

OptionParser& OptionParser::Value(const std::string& name, ValueHandler handler) {
  values_[name] = std::move(handler);
  return *this;
}

OptionParser& OptionParser::Switch(const std::string& name, SwitchHandler handler) {
  switches_[name] = std::move(handler);
  return *this;
}

OptionParser& OptionParser::Positional(const std::string& label, ValueHandler handler) {
  positionals_.emplace_back(label, std::move(handler));
  return *this;
}

void OptionParser::Parse(const std::vector<std::string>& args) const {
  size_t next_positional = 0;
  for (size_t i = 0; i < args.size(); ++i) {
    if (IsOption(args[i])) {
      ParseOption(args, i);
    } else if (next_positional < positionals_.size()) {
      const auto& [label, handler] = positionals_[next_positional++];
      handler(label, args[i]);
    } else {
      throw UsageError(args[i] + ": unexpected argument");
    }
  }
}

bool OptionParser::IsOption(const std::string& arg) const {
  return arg.rfind("--", 0) == 0 || values_.count(arg) > 0 || switches_.count(arg) > 0;
}

void OptionParser::ParseOption(const std::vector<std::string>& args, size_t& index) const {
  const std::string& arg = args[index];
  const size_t equals = arg.find('=');
  const std::string name = arg.substr(0, equals);
  const bool inline_value = equals != std::string::npos;
  if (const auto value = values_.find(name); value != values_.end()) {
    if (inline_value) {
      value->second(name, arg.substr(equals + 1));
    } else if (index + 1 < args.size()) {
      value->second(name, args[++index]);
    } else {
      throw UsageError(name + ": missing value");
    }
  } else if (const auto flag = switches_.find(name); flag != switches_.end()) {
    if (inline_value) throw UsageError(name + ": takes no value, got " + Quoted(arg.substr(equals + 1)));
    flag->second();
  } else {
    throw UsageError(arg + ": unknown option");
  }
}

template <typename T>
T ParseInteger(const std::string& name, const std::string& text, T min, T max) {
  T value{};
  if (!ReadWhole(text, value) || value < min || value > max) {
    throw UsageError(name + ": expected an integer from " + std::to_string(min) + " to " +
                     std::to_string(max) + ", got " + Quoted(text));
  }
  return value;
}

template int ParseInteger<int>(const std::string&, const std::string&, int, int);
template long ParseInteger<long>(const std::string&, const std::string&, long, long);
template long long ParseInteger<long long>(const std::string&, const std::string&, long long, long long);
template unsigned ParseInteger<unsigned>(const std::string&, const std::string&, unsigned, unsigned);
template unsigned long ParseInteger<unsigned long>(const std::string&, const std::string&, unsigned long,
                                                   unsigned long);
template unsigned long long ParseInteger<unsigned long long>(const std::string&, const std::string&,
                                                             unsigned long long, unsigned long long);

double ParseNonNegativeDecimal(const std::string& name, const std::string& text) {
  double value = 0;
  // "-0" reads as a number >= 0; a minus sign is refused all the same.
  if (!ReadWhole(text, value, std::chars_format::general) || !std::isfinite(value) || value < 0 ||
      text[0] == '-') {
    throw UsageError(name + ": expected a non-negative number, got " + Quoted(text));
  }
  return value;
}

}  // namespace quirvel::cli
