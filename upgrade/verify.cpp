#include "upgrade/upgrade_run.h"
namespace ramtune::upgrade {
UpgradeRun::Verdict UpgradeRun::Verify() { return Verdict::Failed; }
}  // namespace ramtune::upgrade
