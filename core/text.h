// Small text helpers shared by the whole program. Texts are 8-bit strings.
#pragma once

#include <string>

namespace ramtune {

// printf-style formatting into a string.
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Every occurrence of `what` replaced by `with`.
std::string ReplaceAll(std::string text, const std::string& what, const std::string& with);

// Every occurrence of character c removed.
std::string RemoveChar(std::string text, char c);

inline bool Contains(const std::string& text, const std::string& what) {
  return text.find(what) != std::string::npos;
}

// The format with its first "%s" replaced by the value. Unlike printf, a
// value with a zero byte or a percent sign in it is kept whole.
std::string FillIn(const char* format, const std::string& value);

// The reply up to, not including, its first line feed; empty when it has none.
std::string FirstLine(const std::string& reply);

}  // namespace ramtune
