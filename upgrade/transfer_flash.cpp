#include "upgrade/upgrade_run.h"
namespace ramtune::upgrade {
bool UpgradeRun::TransferAndFlash() { return false; }
}  // namespace ramtune::upgrade
