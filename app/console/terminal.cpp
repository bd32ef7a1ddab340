#include "app/console/terminal.h"

#include <cstring>

namespace ramtune::console {
namespace {

const char* const kEraseLine = "\r\x1b[K";  // to the start of the line, erased to its end
const char* const kLineUp = "\x1b[A";

void Put(std::FILE* stream, const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stream);
  std::fflush(stream);
}

}  // namespace

TerminalCaps DecideCaps(bool isTerminal, const char* noColour, const char* term) {
  TerminalCaps caps;
  caps.live = isTerminal && (term == nullptr || std::strcmp(term, "dumb") != 0);
  caps.colour = caps.live && (noColour == nullptr || noColour[0] == '\0');
  return caps;
}

std::string FitToWidth(const std::string& line, int width) {
  const size_t room = width > 1 ? static_cast<size_t>(width - 1) : 1;
  return line.size() <= room ? line : line.substr(0, room);
}

std::string Coloured(const std::string& text, Colour colour) {
  const char* code = colour == Colour::Green ? "32" : colour == Colour::Red ? "31" : "33";
  return std::string("\x1b[1;") + code + "m" + text + "\x1b[0m";
}

BottomBlock::BottomBlock(std::FILE* out, bool live, std::function<int()> width)
    : out_(out), live_(live), width_(std::move(width)) {}

void BottomBlock::Clear() {
  if (drawn_.empty()) return;
  std::string erase = kEraseLine;
  for (size_t i = 1; i < drawn_.size(); ++i) erase += std::string(kLineUp) + kEraseLine;
  Put(out_, erase);
  drawn_.clear();
}

void BottomBlock::Draw() {
  if (!layout_ || prompting_) return;
  const int width = width_();
  std::vector<std::string> lines = layout_(width);
  for (std::string& line : lines) line = FitToWidth(line, width);
  if (lines == drawn_) return;
  Clear();
  std::string text;
  for (size_t i = 0; i < lines.size(); ++i) text += (i == 0 ? "" : "\n") + lines[i];
  Put(out_, text);
  drawn_ = std::move(lines);
}

void BottomBlock::Write(std::FILE* stream, const std::string& text) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (live_) Clear();
  Put(stream, text);
  if (live_) Draw();
}

void BottomBlock::Show(Layout layout) {
  if (!live_) return;
  std::lock_guard<std::mutex> lock(mutex_);
  layout_ = std::move(layout);
  Draw();
}

void BottomBlock::BeginPrompt(const std::string& prompt) {
  std::lock_guard<std::mutex> lock(mutex_);
  Clear();
  prompting_ = true;
  Put(out_, prompt);
}

void BottomBlock::EndPrompt() {
  std::lock_guard<std::mutex> lock(mutex_);
  prompting_ = false;
  Draw();
}

void BottomBlock::LineTyped() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (drawn_.empty()) return;
  drawn_.clear();
  Draw();
}

void BottomBlock::Release() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!drawn_.empty()) Put(out_, "\n");
  drawn_.clear();
  layout_ = nullptr;
}

}  // namespace ramtune::console
