// Where a unit's per-unit values are read, and the read of one value.
//
// A unit with an older bootloader is read the way the backup reads it (the
// item table's commands). On a unit whose boot partition already holds the
// image's bootloader, the running variables need not be what the bootloader
// keeps: there each value is read where the verification reads it, from the
// boot partition under its plain key. The run's backup, a backup run and a
// check all read through here, with the same retries and the same value rule.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "core/logs.h"
#include "link/command_channel.h"
#include "upgrade/calibration_items.h"

namespace ramtune::upgrade {

enum class RetryVariant { CountingDown, CountingUp };

// Runs `attempt` up to `attempts` times with `pauseMs` between failures (and
// after the last one for CountingUp); true as soon as an attempt succeeds.
bool RetryAttempts(Waits& waits, int attempts, int pauseMs, RetryVariant variant,
                   const std::function<bool()>& attempt);

// The model id's position among the values read: after the 29 items.
inline constexpr size_t kModelItem = kCalibrationItemCount;

enum class ReadKind {
  Command,     // a command, its reply's first line without the prefix
  Partition,   // the boot partition under a key (CommandChannel::QueryMtd0Value)
  ModelQuery,  // the model-name query, whole reply
};

struct ReadPlace {
  ReadKind kind;
  std::string text;    // the command (Command, ModelQuery) or the key (Partition)
  std::string prefix;  // removed from a Command's line; may be empty
  int limitMs;
  int attempts;
};

// Where a value is read, for a person: the command, or "boot partition <key>".
std::string DescribePlace(const ReadPlace& place);

// The places `item` (or kModelItem) is read from, first the one whose value
// is kept. Only the 2.4 GHz MAC has two in the boot partition.
std::vector<ReadPlace> ReadPlaces(size_t item, bool fromBootPartition);

// The flash check's read: whether the boot partition holds the image's
// bootloader, and the running bootloader's version.
inline const char* const kBootPartitionVersionQuery = "cat /dev/mtd0 |grep bl_version";
inline const char* const kRunningVersionQuery = "nvram get bl_version";

struct ReadValue {
  std::string value;   // the last attempt's value (the model: the name found, or empty)
  std::string defect;  // empty when the value rule accepts it
  bool accepted() const { return defect.empty(); }
};

class UnitReader {
 public:
  using LogLine = std::function<void(const std::string&)>;
  // Every read asks `unit` through `channel`.
  UnitReader(link::CommandChannel& channel, const link::Target& unit, Waits& waits, LogLine log)
      : channel_(channel), unit_(unit), waits_(waits), log_(std::move(log)) {}

  // Reads until the value rule accepts the value or the place's attempts
  // are used, logging the item's line after every attempt (the model's once,
  // after acceptance).
  ReadValue Read(size_t item, const ReadPlace& place);

  // The first reply line to `command`.
  std::string Ask(const std::string& command, int limitMs);

  // Bootloader versions: the boot partition's value of "bl_version" as the
  // flash check reads it, and the running one; each empty when unanswered.
  struct Versions {
    std::string running;
    std::string bootPartition;
    bool imageInBootPartition = false;
  };
  Versions ReadVersions();

 private:
  link::CommandChannel& channel_;
  const link::Target& unit_;
  Waits& waits_;
  LogLine log_;
};

}  // namespace ramtune::upgrade
