// The mark of an unfinished run: one small file per unit beside the Data
// logs, written before a run first changes its unit and removed when a run
// of that unit completes. A mark left behind says that the unit was changed
// and not finished, and which Data log holds its values: the next start on
// that unit writes those values back instead of backing up what the
// interrupted run left on it.
#pragma once

#include <string>
#include <vector>

namespace ramtune::upgrade {

struct RunMark {
  std::string path;     // the mark's own file
  std::string mac;      // twelve upper-case hex digits
  std::string dataLog;  // the Data log that restores the unit
  std::string time;     // when the run changed the unit ("%Y%m%d%H%M%S")
};

// The folder a Data log is in, with its trailing separator ("" for a bare name).
std::string FolderOf(const std::string& path);
// The mark of the unit `mac` (twelve hex digits) in `folder` (with its separator).
std::string MarkPath(const std::string& folder, const std::string& mac);
// The text of a mark, and the mark read from one; false for text that is no mark.
std::string MarkText(const RunMark& mark);
bool ParseMark(const std::string& text, RunMark* mark);

// Writes the mark atomically; on failure `error` says why.
bool WriteMark(const RunMark& mark, std::string* error);
// Removes the mark of `mac` in `folder`, if any.
void RemoveMark(const std::string& folder, const std::string& mac);
// Whether `folder` holds a mark for the unit `mac`: a run that only reads
// the unit must not take its place (the mark's Data log is the true copy).
bool HasOpenMark(const std::string& folder, const std::string& mac);
// Every mark in `folder`, in name order; a file named as a mark that cannot
// be read as one is returned with its path only.
std::vector<RunMark> OpenMarks(const std::string& folder);

}  // namespace ramtune::upgrade
