#include "upgrade/upgrade_run.h"
namespace ramtune::upgrade {
bool UpgradeRun::RestoreAndCommit() { return false; }
}  // namespace ramtune::upgrade
