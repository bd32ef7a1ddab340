// Clock, threads and locks, UDP socket set-up, single instance, system
// version and library loading of the platform layer, run on both systems. No
// test here sends a packet, except the loopback test, which runs only inside
// a test network namespace (RAMTUNE_TEST_NETNS set).
#include <gtest/gtest.h>

#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include "link/udp_transport.h"
#include "platform/platform.h"
#include "support/lines.h"

namespace fs = std::filesystem;
namespace platform = ramtune::platform;

namespace {

using ramtune::test::WindowsSide;


std::string UniqueSuffix() {
  std::random_device random;
  return std::to_string(random());
}

// ---- clock -------------------------------------------------------------------

TEST(PlatformClock, CounterAndProcessClockFollowASleep) {
  const int64_t frequency = platform::PerformanceFrequency();
  ASSERT_GT(frequency, 0);
  const int64_t counterBefore = platform::PerformanceCounter();
  const int64_t clockBefore = platform::ProcessClockMs();
  platform::SleepMs(120);
  const int64_t sleptMs = (platform::PerformanceCounter() - counterBefore) * 1000 / frequency;
  const int64_t clockMs = platform::ProcessClockMs() - clockBefore;
  EXPECT_GE(sleptMs, 110);
  EXPECT_LT(sleptMs, 2000);
  EXPECT_GE(clockMs, 110);
  EXPECT_LT(clockMs, 2000);
  EXPECT_GE(clockBefore, 0);
}

TEST(PlatformClock, TimeStampIsFourteenDigits) {
  const std::string stamp = platform::LocalTimeStamp();
  ASSERT_EQ(stamp.size(), 14u) << stamp;
  for (char c : stamp) EXPECT_TRUE(std::isdigit(static_cast<unsigned char>(c))) << stamp;
  const int month = std::stoi(stamp.substr(4, 2));
  const int hour = std::stoi(stamp.substr(8, 2));
  EXPECT_GE(month, 1);
  EXPECT_LE(month, 12);
  EXPECT_LE(hour, 23);
}

// ---- UDP socket (no packet leaves the socket) ------------------------------

TEST(PlatformUdpSocket, PortHeldByAnotherSocketMakesBindFail) {
  platform::SocketLibraryStartup();
  platform::UdpSocket holder;
  ASSERT_TRUE(holder.Create());
  std::mt19937 random(std::random_device{}());
  uint16_t port = 0;
  for (int attempt = 0; attempt < 20 && port == 0; ++attempt) {
    uint16_t candidate = static_cast<uint16_t>(40000 + random() % 20000);
    if (holder.Bind(candidate)) port = candidate;
  }
  ASSERT_NE(port, 0) << "no free port found";
  EXPECT_TRUE(holder.EnableBroadcast());

  platform::UdpSocket second;
  ASSERT_TRUE(second.Create());
  EXPECT_FALSE(second.Bind(port));
  holder.Close();
  EXPECT_FALSE(holder.IsOpen());
  EXPECT_TRUE(second.Bind(port)) << "the closed socket still holds the port";
  EXPECT_FALSE(second.WaitReadable(0));
  second.Close();
  platform::SocketLibraryCleanup();
}

// Close waits for the listener to leave its wait before it closes the socket
// (a socket closed under a waiting thread can outlive its process under
// Wine): it returns once the listener has ended, long before its limit, and
// the port is free at once.
TEST(PlatformUdpSocket, TransportCloseEndsTheListenerThenFreesThePort) {
  platform::SocketLibraryStartup();
  std::mt19937 random(std::random_device{}());
  for (int round = 0; round < 3; ++round) {
    ramtune::link::UdpTransport transport;
    ASSERT_TRUE(transport.CreateSocket());
    uint16_t port = 0;
    for (int attempt = 0; attempt < 20 && port == 0; ++attempt) {
      const uint16_t candidate = static_cast<uint16_t>(40000 + random() % 20000);
      if (transport.Bind(candidate)) port = candidate;
    }
    ASSERT_NE(port, 0) << "no free port found";
    transport.StartListener([](const uint8_t*, size_t, const std::string&, unsigned) {});
    platform::SleepMs(50 + 100 * round);  // the listener is inside its wait
    const int64_t from = platform::ProcessClockMs();
    transport.Close();
    EXPECT_LT(platform::ProcessClockMs() - from, 1000) << "the listener did not end";
    platform::UdpSocket next;
    ASSERT_TRUE(next.Create());
    EXPECT_TRUE(next.Bind(port)) << "the closed transport still holds the port";
    next.Close();
  }
  platform::SocketLibraryCleanup();
}

TEST(PlatformUdpSocket, DatagramsOverLoopbackInsideTestNamespace) {
  if (std::getenv("RAMTUNE_TEST_NETNS") == nullptr) {
    GTEST_SKIP() << "sends datagrams: runs only inside a test network namespace";
  }
  platform::SocketLibraryStartup();
  platform::UdpSocket receiver;
  platform::UdpSocket sender;
  ASSERT_TRUE(receiver.Create());
  ASSERT_TRUE(receiver.Bind(47999));
  ASSERT_TRUE(sender.Create());
  ASSERT_TRUE(sender.Bind(47998));
  const uint8_t data[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  // Unreadable address text never turns into the broadcast address.
  EXPECT_FALSE(sender.SendTo("not-an-address", 47999, data, sizeof data));

  ASSERT_TRUE(sender.SendTo("127.0.0.1", 47999, data, sizeof data));
  ASSERT_TRUE(receiver.WaitReadable(2000));
  uint8_t buf[16] = {};
  std::string source;
  EXPECT_EQ(receiver.ReceiveFrom(buf, sizeof buf, &source), 8);
  EXPECT_EQ(source, "127.0.0.1");
  EXPECT_EQ(buf[7], 8);

  // A datagram longer than the buffer is a failure, not a cut datagram.
  ASSERT_TRUE(sender.SendTo("127.0.0.1", 47999, data, sizeof data));
  ASSERT_TRUE(receiver.WaitReadable(2000));
  EXPECT_EQ(receiver.ReceiveFrom(buf, 4, &source), -1);
  EXPECT_FALSE(receiver.WaitReadable(100));
  platform::SocketLibraryCleanup();
}

// ---- threads and locks ------------------------------------------------------------

// Two started threads and this one add to one counter under the lock; with a
// lock that does not exclude, increments get lost.
TEST(PlatformThreads, StartedThreadsRunAndTheLockExcludes) {
  constexpr int kRounds = 200000;
  platform::Lock lock;
  long counter = 0;
  std::atomic<int> finished{0};
  auto add = [&] {
    for (int i = 0; i < kRounds; ++i) {
      platform::LockGuard guard(lock);
      counter = counter + 1;
    }
  };
  for (int t = 0; t < 2; ++t) {
    ASSERT_TRUE(platform::StartDetachedThread([&] {
      add();
      finished.fetch_add(1);
    }));
  }
  add();
  for (int i = 0; i < 2000 && finished.load() < 2; ++i) platform::SleepMs(10);
  ASSERT_EQ(finished.load(), 2) << "the started threads did not finish within 20 s";
  platform::LockGuard guard(lock);
  EXPECT_EQ(counter, 3L * kRounds);
}

// ---- single instance and system version --------------------------------------

TEST(PlatformInstance, SecondHolderOfTheSameNameSeesTheFirst) {
  const std::string suffix = UniqueSuffix();
  const std::string name = "ramtune-test/instance " + suffix;
  EXPECT_FALSE(platform::AnotherInstanceRunning(name));
  EXPECT_TRUE(platform::AnotherInstanceRunning(name));
  EXPECT_FALSE(platform::AnotherInstanceRunning(name + "-other"));
  // The locks stay held until this test program ends.
}

TEST(PlatformVersion, ReportsAnAcceptedNtSystem) {
  platform::OsVersion version = platform::QueryOsVersion();
  EXPECT_EQ(version.platformId, 2u) << "the version probe failed or reported a 9x system";
  EXPECT_GE(version.major, 5u);
  if (!WindowsSide()) {
    EXPECT_EQ(version.major, 6u);
    EXPECT_EQ(version.minor, 1u);
    EXPECT_EQ(version.servicePack, "Service Pack 1");
  }
}

// ---- loading the echo library --------------------------------------------------

using PingFunction = int (*)(const char*);
using HostByNameFunction = int (*)(const char*, char**);

class PlatformEchoLibrary : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = platform::ExecutableFolder() + ".." + platform::kPathSeparator + "echomod" +
              platform::kPathSeparator;
    if (!platform::FileExists(folder_ + platform::kEchoLibraryName)) {
      GTEST_SKIP() << "the echo library is not built beside the tests (" << folder_ << ")";
    }
  }
  std::string folder_;
};

TEST_F(PlatformEchoLibrary, BindsBothExportsAndTheyRefuseWithoutNetwork) {
  platform::LoadedLibrary library;
  ASSERT_TRUE(platform::LoadLibraryFrom(folder_, platform::kEchoLibraryName, "ping", "HostByName",
                                        &library));
  ASSERT_NE(library.handle, nullptr);
  ASSERT_NE(library.first, nullptr);
  ASSERT_NE(library.second, nullptr);
  auto ping = reinterpret_cast<PingFunction>(library.first);
  auto hostByName = reinterpret_cast<HostByNameFunction>(library.second);

  // Longer than 16 characters: 0 at once, nothing sent.
  EXPECT_EQ(ping("10.77.0.2.invalid"), 0);
  EXPECT_EQ(ping(nullptr), 0);

  // A dotted address needs no lookup and leaves the caller's pointer alone.
  char sentinel[] = "untouched";
  char* address = sentinel;
  EXPECT_EQ(hostByName("10.77.0.2", &address), 1);
  EXPECT_EQ(address, sentinel);
  // Longer than 15 characters: refused without a lookup.
  EXPECT_EQ(hostByName("router.invalid.x", &address), 0);
  EXPECT_EQ(address, sentinel);
}

TEST_F(PlatformEchoLibrary, MissingExportIsLeftUnbound) {
  platform::LoadedLibrary library;
  ASSERT_TRUE(platform::LoadLibraryFrom(folder_, platform::kEchoLibraryName, "ping", "NoSuchExport",
                                        &library));
  EXPECT_NE(library.first, nullptr);
  EXPECT_EQ(library.second, nullptr);
}

TEST_F(PlatformEchoLibrary, LoadsOnlyFromTheGivenFolder) {
  platform::LoadedLibrary library;
  EXPECT_FALSE(platform::LoadLibraryFrom(fs::temp_directory_path().string(),
                                         platform::kEchoLibraryName, "ping", "HostByName",
                                         &library));
  EXPECT_EQ(library.handle, nullptr);
  EXPECT_EQ(library.first, nullptr);
  EXPECT_EQ(library.second, nullptr);

  // Not from the current directory either, even when the library lies there.
  const fs::path previous = fs::current_path();
  fs::current_path(folder_);
  const bool loaded =
      platform::LoadLibraryFrom("", platform::kEchoLibraryName, "ping", "HostByName", &library);
  fs::current_path(previous);
  EXPECT_FALSE(loaded);
  EXPECT_EQ(library.handle, nullptr);
}

// Run only by tests/integration/echomod_ping.sh inside the test network
// namespaces: pings each host of RAMTUNE_PING_HOSTS (blank separated) and
// looks each up, one result line per host.
TEST_F(PlatformEchoLibrary, DISABLED_PingHostsFromTheEnvironment) {
  const char* hosts = std::getenv("RAMTUNE_PING_HOSTS");
  ASSERT_NE(hosts, nullptr) << "RAMTUNE_PING_HOSTS is not set";
  platform::LoadedLibrary library;
  ASSERT_TRUE(platform::LoadLibraryFrom(folder_, platform::kEchoLibraryName, "ping", "HostByName",
                                        &library));
  auto ping = reinterpret_cast<PingFunction>(library.first);
  auto hostByName = reinterpret_cast<HostByNameFunction>(library.second);
  std::string list = hosts;
  size_t pos = 0;
  while (pos < list.size()) {
    size_t end = list.find(' ', pos);
    if (end == std::string::npos) end = list.size();
    const std::string host = list.substr(pos, end - pos);
    pos = end + 1;
    if (host.empty()) continue;
    const int64_t start = platform::PerformanceCounter();
    const int answered = ping(host.c_str());
    const int64_t ms =
        (platform::PerformanceCounter() - start) * 1000 / platform::PerformanceFrequency();
    char* address = nullptr;
    const int resolved = hostByName(host.c_str(), &address);
    std::printf("echo-result %s ping=%d ms=%lld lookup=%d address=%s\n", host.c_str(), answered,
                static_cast<long long>(ms), resolved, address != nullptr ? address : "-");
  }
  std::fflush(stdout);
}

}  // namespace
