// A port for a test's own socket, away from the service port.
#pragma once

#include <cstdint>
#include <random>

#include "platform/platform.h"

namespace ramtune::test {

// Binds the created `socket` to a free port from 40000 to 59999; 0 when none
// of twenty tries was free.
inline uint16_t BindFreePort(platform::UdpSocket& socket) {
  std::mt19937 random(std::random_device{}());
  for (int attempt = 0; attempt < 20; ++attempt) {
    const uint16_t candidate = static_cast<uint16_t>(40000 + random() % 20000);
    if (socket.Bind(candidate)) return candidate;
  }
  return 0;
}

}  // namespace ramtune::test
