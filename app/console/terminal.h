// Terminal output for the console front ends: whether standard output is a
// terminal that takes cursor controls and colour, its width, and a block of
// lines kept at the bottom of it and redrawn in place while every other line
// scrolls above it.
//
// Only terminal_system.cpp asks the system; the rest is plain text handling
// and writes to a stdio stream, so the tests run it against a file.
#pragma once

#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace ramtune::console {

// What the program may do on its standard output.
struct TerminalCaps {
  bool live = false;    // a terminal that takes the cursor controls: the block is drawn
  bool colour = false;  // endings may be coloured
};

// The decision, from what the system reports: a terminal, unless TERM is
// "dumb"; colour on such a terminal unless NO_COLOR is set to anything.
// noColour and term are the variables' values, nullptr when unset.
TerminalCaps DecideCaps(bool isTerminal, const char* noColour, const char* term);

// The same for standard output, from the system and the environment.
TerminalCaps StandardOutputCaps();

// Columns of the terminal on `fd`; 80 when the system does not tell.
int TerminalWidth(int fd);

// `line` cut to width - 1 characters (at least one), so that it never fills
// the last column and never wraps. One character is one column: the
// program's texts are ASCII.
std::string FitToWidth(const std::string& line, int width);

enum class Colour { Green, Red, Yellow };

// `text` in bold `colour`, the attributes reset after it.
std::string Coloured(const std::string& text, Colour colour);

// Output that keeps a block of lines at the bottom of a terminal. Every
// write goes through it under one lock: the block is cleared, the text
// written, the block drawn again under it. When the output is not live,
// text passes through unchanged and the block is never drawn.
class BottomBlock {
 public:
  // The block's lines for a terminal of `width` columns; each is fitted to
  // the width after.
  using Layout = std::function<std::vector<std::string>(int width)>;

  // width: asked at every draw, so that a resized terminal is followed.
  BottomBlock(std::FILE* out, bool live, std::function<int()> width);
  BottomBlock(const BottomBlock&) = delete;
  BottomBlock& operator=(const BottomBlock&) = delete;

  bool Live() const { return live_; }

  // Writes `text` (whole lines, each ended by '\n') to `stream`, which is
  // `out` or another stream on the same terminal (standard error).
  void Write(std::FILE* stream, const std::string& text);
  // Shows `layout` as the block, in place of the one before. Nothing is
  // written when the lines are those on the screen already.
  void Show(Layout layout);
  // A prompt takes the bottom line: the block is cleared and `prompt`
  // written; until EndPrompt the block is not drawn and text is written as
  // it comes.
  void BeginPrompt(const std::string& prompt);
  void EndPrompt();
  // A line was typed at the terminal outside a prompt: its echo went where
  // the cursor was, at the end of the block, and its line end moved the
  // cursor below. What is on the screen stays as ordinary text and the block
  // is drawn again under it.
  void LineTyped();
  // The block on the screen stays there as ordinary lines; nothing more is
  // drawn until the next Show.
  void Release();

 private:
  void Clear();
  void Draw();

  std::FILE* const out_;
  const bool live_;
  const std::function<int()> width_;
  std::mutex mutex_;
  Layout layout_;
  std::vector<std::string> drawn_;  // the lines of the block on the screen now
  bool prompting_ = false;
};

}  // namespace ramtune::console
