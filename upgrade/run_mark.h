// The mark of an unfinished run, as earlier versions of this program wrote
// one beside the Data logs of each unit they changed: a mark left behind says
// that the unit was changed and not finished, and which Data log holds its
// values. The unit ledger has taken their place; marks found in a working
// folder are taken into it at every start and left as they are.
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

// Every mark in `folder`, in name order; a file named as a mark that cannot
// be read as one is returned with its path only.
std::vector<RunMark> OpenMarks(const std::string& folder);

}  // namespace ramtune::upgrade
