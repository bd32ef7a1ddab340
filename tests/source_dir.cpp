// Where this checkout's sources are, for the tests that read a file of the
// tree or run the simulator's Python code. Kept out of the test files
// themselves: the path differs from checkout to checkout, and only this file
// is then compiled again by another checkout (the compiler cache finds the
// rest).
#include "support/lines.h"

namespace ramtune::test {

std::string SourcePath(const std::string& relative) { return std::string(RAMTUNE_SOURCE_DIR) + "/" + relative; }

}  // namespace ramtune::test
