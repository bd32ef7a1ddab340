#include "upgrade/upgrade_run.h"
namespace ramtune::upgrade {
bool UpgradeRun::RebootAndReconnect() { return false; }
}  // namespace ramtune::upgrade
