// Command lines of the tools and benchmark programs: named options with a value
// ("--key value" or "--key=value"), switches, positional arguments, and the
// checks their numbers go through. Every message starts with the argument at
// fault, so a tool may put its own words in front of it.
#pragma once

#include <functional>
#include <limits>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace quirvel::cli {

// A command line the tool cannot use; what() says which argument and why.
class UsageError : public std::invalid_argument {
 public:
  using std::invalid_argument::invalid_argument;
};

class OptionParser {
 public:
  // Called with the option's name (a positional's label) and the text given.
  using ValueHandler = std::function<void(const std::string& name, const std::string& value)>;
  using SwitchHandler = std::function<void()>;

  // "--name value" or "--name=value". The handler runs at every occurrence,
  // in command-line order: a repeatable option collects, any other keeps the
  // last. The value is the next argument whatever it looks like, so
  // "--worker-arg --profile=bge" passes "--profile=bge" on.
  OptionParser& Value(const std::string& name, ValueHandler handler);
  // "--name" alone.
  OptionParser& Switch(const std::string& name, SwitchHandler handler);
  // The next argument that is not an option, one per call, in the order the
  // positionals were added. Arguments starting with "--", and the names given
  // to Value and Switch, are options; anything else ("-", "file") is not.
  OptionParser& Positional(const std::string& label, ValueHandler handler);

  // Runs the handlers in command-line order. Throws UsageError for an unknown
  // option, a missing value, a value given to a switch, or an argument that
  // no positional is left for; what the handlers throw passes through.
  void Parse(const std::vector<std::string>& args) const;

 private:
  bool IsOption(const std::string& arg) const;
  void ParseOption(const std::vector<std::string>& args, size_t& index) const;

  std::map<std::string, ValueHandler> values_;
  std::map<std::string, SwitchHandler> switches_;
  std::vector<std::pair<std::string, ValueHandler>> positionals_;
};

// The whole text as a decimal integer within [min, max] (by default the
// type's range), with an optional leading "+". Empty text, blanks, trailing
// characters, a "-" for an unsigned type and values out of range throw
// UsageError naming the option: "--count: expected an integer from 1 to ...".
// Defined for the standard signed and unsigned integer types.
template <typename T>
T ParseInteger(const std::string& name, const std::string& text, T min = std::numeric_limits<T>::min(),
               T max = std::numeric_limits<T>::max());

// The whole text as a finite decimal number >= 0 ("2.5", "+3", "1e-3"), in
// the same manner.
double ParseNonNegativeDecimal(const std::string& name, const std::string& text);

}  // namespace quirvel::cli
