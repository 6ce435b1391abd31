#pragma once
// Shared by the movie-writing sub-commands (make-movie, make-item-movie): one OUT path among
// flags and "--name VALUE" options, and strict number parsing.

#include <charconv>
#include <functional>
#include <string>
#include <type_traits>
#include <vector>

namespace vedalia::course {

// The whole text as a number (no sign tricks, no trailing characters).
template <typename T>
bool ParseNumber(const std::string& text, T& value, int base = 10) {
  const char* end = text.data() + text.size();
  std::from_chars_result r;
  if constexpr (std::is_floating_point_v<T>) {
    r = std::from_chars(text.data(), end, value);
  } else {
    r = std::from_chars(text.data(), end, value, base);
  }
  return !text.empty() && r.ec == std::errc() && r.ptr == end;
}

template <typename T>
bool ParseNumberIn(const std::string& text, T& value, T low, T high, int base = 10) {
  return ParseNumber(text, value, base) && value >= low && value <= high;
}

// What an option handler says of one option.
enum class OptionResult { Taken, BadValue, Unknown };

// Walks `args`: a word without "--" is OUT (once), `onFlag` takes a lone option and answers
// whether it knew it, any other option takes the next word as its value through `onValue`.
// Returns OUT; on a usage fault `error` says what, in the words the commands print.
inline std::string TakeOutAndOptions(
    const std::vector<std::string>& args, const std::function<bool(const std::string&)>& onFlag,
    const std::function<OptionResult(const std::string&, const std::string&)>& onValue,
    std::string& error) {
  std::string out;
  for (size_t i = 0; i < args.size() && error.empty(); ++i) {
    const std::string& a = args[i];
    if (onFlag(a)) continue;
    if (a.rfind("--", 0) != 0) {
      if (!out.empty()) error = "more than one OUT";
      out = a;
      continue;
    }
    if (i + 1 >= args.size()) {
      error = a + " needs a value";
      break;
    }
    const std::string& v = args[++i];
    switch (onValue(a, v)) {
      case OptionResult::Taken:
        break;
      case OptionResult::BadValue:
        error = "bad value for " + a + ": " + v;
        break;
      case OptionResult::Unknown:
        error = "unknown option " + a;
        break;
    }
  }
  if (error.empty() && out.empty()) error = "no OUT given";
  return out;
}

}  // namespace vedalia::course
