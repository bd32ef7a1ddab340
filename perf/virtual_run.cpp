// A complete upgrade run in virtual time against the scripted router, from
// the start timer to the PASS picture: the floor that the run's fixed waits
// impose. Prints the virtual duration in milliseconds.
//   ramtune_virtual_run [REBOOT_SILENCE_MS]
#include <cstdio>
#include <cstdlib>

#include "support/rig.h"

int main(int argc, char** argv) {
  using namespace ramtune;
  test::Rig rig;
  rig.router().rebootSilenceMs = argc > 1 ? std::atoi(argv[1]) : 20000;
  const int64_t start = rig.clock.NowMs();
  rig.display.SetTimer(kStartTimer, 100);
  const int code = rig.RunMessages();
  const int64_t elapsed = rig.clock.NowMs() - start;
  const bool completed = rig.display.picture == kPicturePass && rig.display.progress == 20;
  std::printf("virtual_ms=%lld completed=%d exit=%d\n", static_cast<long long>(elapsed), completed ? 1 : 0, code);
  return completed ? 0 : 1;
}
