#include "upgrade/data_log_reader.h"

#include <array>
#include <utility>
#include <vector>

#include "core/text.h"
#include "platform/platform.h"

namespace ramtune::upgrade {
namespace {

constexpr size_t kLineCount = kDataLogLineCount;
constexpr size_t kModelPosition = kCalibrationItemCount;

// What starts the line at a position of the table: the key and the character
// after it, taken from the line the program writes for an empty value
// ("MacAddr_2G " for the factory test items, "0:pa2ga0=", "odmpid=").
struct LineKey {
  std::string name;
  char separator;
};

const std::array<LineKey, kLineCount>& Keys() {
  static const std::array<LineKey, kLineCount> keys = [] {
    std::array<LineKey, kLineCount> out;
    for (size_t p = 0; p < kLineCount; ++p) {
      const std::string start = p < kModelPosition ? DataLogLine(p, "") : ModelDataLogLine("");
      out[p] = {start.substr(0, start.size() - 1), start.back()};
    }
    return out;
  }();
  return keys;
}

int PositionOf(const std::string& name) {
  for (size_t p = 0; p < kLineCount; ++p) {
    if (Keys()[p].name == name) return static_cast<int>(p);
  }
  return -1;
}

// The key a line starts with: everything up to the first blank or '='.
std::string NameOf(const std::string& line) { return line.substr(0, line.find_first_of(" =")); }

bool Blank(const std::string& line) { return line.find_first_not_of(" \t") == std::string::npos; }

// What is wrong with the value at a table position; empty when it is accepted.
std::string PositionDefect(size_t position, const std::string& value) {
  return position < kModelPosition ? ValueDefect(position, value) : ModelNameDefect(value);
}

// Lines without their line ends; a CR right before the LF belongs to the line end.
std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t at = 0;
  while (at < text.size()) {
    const size_t lf = text.find('\n', at);
    const size_t end = lf == std::string::npos ? text.size() : lf;
    size_t length = end - at;
    if (length > 0 && text[end - 1] == '\r') --length;
    lines.push_back(text.substr(at, length));
    if (lf == std::string::npos) break;
    at = lf + 1;
  }
  return lines;
}

class Parser {
 public:
  Parser(std::vector<std::string> lines, DataLogDefect* defect) : lines_(std::move(lines)), defect_(defect) {}

  bool Parse(DataLogValues* out) {
    if (lines_.empty()) return Refuse(kNoLine, "the file holds only blank lines");
    for (size_t index = 0; index < lines_.size(); ++index) {
      if (Blank(lines_[index])) return Refuse(index, "blank line");
    }
    // The run read is the last 30 lines. When they do not start a run, the
    // file's last run is longer or shorter than a Data log, and its defect is
    // looked for from that run's first line.
    const std::string& first = Keys()[0].name;
    run_ = lines_.size() > kLineCount ? lines_.size() - kLineCount : 0;
    if (run_ > 0 && NameOf(lines_[run_]) != first) {
      for (size_t index = lines_.size(); index-- > 0;) {
        if (NameOf(lines_[index]) == first) {
          run_ = index;
          break;
        }
      }
    }
    if (!CheckEarlierRuns()) return false;

    DataLogValues values;
    for (size_t p = 0; p < kLineCount; ++p) {
      const size_t index = run_ + p;
      const LineKey& key = Keys()[p];
      if (index >= lines_.size()) {
        const std::string ends = std::to_string(lines_.size());
        return Refuse(index, "missing key " + key.name + ": " +
                                 (run_ == 0 ? "the file ends after line " + ends + ", a Data log has " +
                                                  std::to_string(kLineCount) + " lines"
                                            : "the run from line " + std::to_string(run_ + 1) +
                                                  " ends after line " + ends));
      }
      const std::string& line = lines_[index];
      const std::string name = NameOf(line);
      if (PositionOf(name) != static_cast<int>(p)) return Refuse(index, KeyDefect(p, index, name));
      if (line.size() == name.size() || line[name.size()] != key.separator) {
        return Refuse(index, "key " + name + " must be followed by " +
                                 (key.separator == ' ' ? std::string("a blank") : std::string("'='")));
      }
      const std::string value = line.substr(name.size() + 1);
      const std::string what = PositionDefect(p, value);
      if (!what.empty()) return Refuse(index, name + ": " + what);
      (p < kModelPosition ? values.Values[p] : values.ModelName) = value;
    }
    const size_t after = run_ + kLineCount;
    if (after < lines_.size()) return Refuse(after, KeyDefect(kLineCount, after, NameOf(lines_[after])));
    *out = std::move(values);
    *defect_ = DataLogDefect{};
    return true;
  }

 private:
  static constexpr size_t kNoLine = static_cast<size_t>(-1);

  // `index` counts from 0; kNoLine stands for the file as a whole.
  bool Refuse(size_t index, std::string what) {
    defect_->line = index == kNoLine ? 0 : static_cast<int>(index + 1);
    defect_->what = std::move(what);
    return false;
  }

  // The lines before the run read: earlier runs of the same second, each in
  // table order and possibly cut short. Their values are not used.
  bool CheckEarlierRuns() {
    size_t expected = 0;
    for (size_t index = 0; index < run_; ++index) {
      const std::string name = NameOf(lines_[index]);
      const int position = PositionOf(name);
      if (position < 0) return Refuse(index, UnknownKey(name));
      if (position != 0 && static_cast<size_t>(position) != expected) {
        return Refuse(index, "expected key " + Keys()[expected].name + ", found " + name);
      }
      expected = (static_cast<size_t>(position) + 1) % kLineCount;
    }
    return true;
  }

  static std::string UnknownKey(const std::string& name) {
    return name.empty() ? "no key at the start of the line" : "unknown key " + ShowText(name);
  }

  // Why `name` on line `index` is not the key of run position p (p == 30:
  // a line after the model name).
  std::string KeyDefect(size_t p, size_t index, const std::string& name) const {
    const int found = PositionOf(name);
    if (found < 0) return UnknownKey(name);
    if (static_cast<size_t>(found) < p) {
      return "key " + name + " repeated (first on line " + std::to_string(run_ + found + 1) + ")";
    }
    const std::string& expected = Keys()[p].name;
    for (size_t later = index + 1; later < lines_.size(); ++later) {
      if (NameOf(lines_[later]) == expected) {
        return "expected key " + expected + ", found " + name + " (out of order)";
      }
    }
    return "missing key " + expected + " (found " + name + ")";
  }

  std::vector<std::string> lines_;
  DataLogDefect* defect_;
  size_t run_ = 0;  // index of the first line of the run read
};

}  // namespace

bool ParseDataLog(const std::string& text, DataLogValues* out, DataLogDefect* defect) {
  if (text.empty()) {
    *defect = {0, "the file is empty"};
    return false;
  }
  if (text.size() > kDataLogMaxBytes) {
    *defect = {0, "the file is larger than 64 KiB"};
    return false;
  }
  std::vector<std::string> lines = SplitLines(text);
  // Blank lines after the last one (an editor's extra line end) carry nothing.
  while (!lines.empty() && Blank(lines.back())) lines.pop_back();
  return Parser(std::move(lines), defect).Parse(out);
}

bool ReadDataLog(const std::string& path, DataLogValues* out, DataLogDefect* defect) {
  std::string text;
  if (path.empty() || !platform::ReadFilePrefix(path, kDataLogMaxBytes + 1, &text)) {
    *defect = {0, "the file cannot be read"};
    return false;
  }
  return ParseDataLog(text, out, defect);
}

std::string DescribeDefect(const std::string& path, const DataLogDefect& defect) {
  if (defect.line == 0) return path + ": " + defect.what;
  return path + ", line " + std::to_string(defect.line) + ": " + defect.what;
}

}  // namespace ramtune::upgrade
