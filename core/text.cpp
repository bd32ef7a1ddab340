#include "core/text.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

namespace ramtune {

std::string Format(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  const int needed = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string out;
  if (needed > 0) {
    std::vector<char> buffer(static_cast<size_t>(needed) + 1);
    std::vsnprintf(buffer.data(), buffer.size(), format, args);
    out.assign(buffer.data(), static_cast<size_t>(needed));
  }
  va_end(args);
  return out;
}

std::string ReplaceAll(std::string text, const std::string& what, const std::string& with) {
  if (what.empty()) return text;
  size_t at = 0;
  while ((at = text.find(what, at)) != std::string::npos) {
    text.replace(at, what.size(), with);
    at += with.size();
  }
  return text;
}

std::string RemoveChar(std::string text, char c) {
  std::string out;
  out.reserve(text.size());
  for (char ch : text) {
    if (ch != c) out.push_back(ch);
  }
  return out;
}

std::string FillIn(const char* format, const std::string& value) {
  std::string text = format;
  const size_t at = text.find("%s");
  if (at != std::string::npos) text.replace(at, 2, value);
  return text;
}

std::string FirstLine(const std::string& reply) {
  const size_t lf = reply.find('\n');
  return lf == std::string::npos ? std::string() : reply.substr(0, lf);
}

}  // namespace ramtune
