// The last step before the flash: the Data log is the only copy of the
// unit's values that survives a run which stops after the flash, so nothing
// is flashed unless that copy is on the disk, complete and read back by the
// restore reader to the run's values.
#include "upgrade/data_log.h"
#include "upgrade/upgrade_run.h"

namespace ramtune::upgrade {

bool UpgradeRun::DataLogIsDurable(const DataLogFile& file, const DataLogValues& values) {
  const std::string& path = file.path;
  std::string why = file.error;
  if (why.empty()) why = CheckDataLogOnDisk(path, values, file.restorable);
  if (why.empty()) return true;
  EndNotWritten("The Data log", path, why);
  return false;
}

void UpgradeRun::EndNotWritten(const std::string& what, const std::string& path, const std::string& why) {
  const std::string text = what + " " + path + " could not be written (" + why +
                           "). Nothing has been changed on the router. Start the program from a folder "
                           "you can write to, with free space, then press Retry.";
  EndRun(kPicturePause, text, text);
}

}  // namespace ramtune::upgrade
