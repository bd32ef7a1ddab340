#include "upgrade/unit_reads.h"

#include "core/settings.h"
#include "core/text.h"
#include "upgrade/data_log.h"
#include "upgrade/restore_verify_tables.h"
#include "upgrade/upgrade_run.h"

namespace ramtune::upgrade {

bool RetryAttempts(Waits& waits, int attempts, int pauseMs, RetryVariant variant,
                   const std::function<bool()>& attempt) {
  for (int n = 1; n <= attempts; ++n) {
    if (attempt()) return true;
    if (n < attempts || variant == RetryVariant::CountingUp) waits.PumpingDelay(pauseMs);
  }
  return false;
}

std::string DescribePlace(const ReadPlace& place) {
  return place.kind == ReadKind::Partition ? "boot partition " + place.text : place.text;
}

std::vector<ReadPlace> ReadPlaces(size_t item, bool fromBootPartition) {
  std::vector<ReadPlace> places;
  if (fromBootPartition) {
    for (const VerifyRow& row : kVerifyRows) {
      if (item == kModelItem && row.read == ReadFrom::ModelName) {
        places.push_back({ReadKind::ModelQuery, kModelNameQuery, "", 1000, row.attempts});
      } else if (item < kModelItem && row.read == ReadFrom::Partition && row.expect == Expect::Kept &&
                 row.item == item) {
        places.push_back({ReadKind::Partition, row.key, "", 1000, row.attempts});
      }
    }
    return places;
  }
  if (item == kModelItem) return {{ReadKind::ModelQuery, kModelNameQuery, "", 1000, 8}};
  const CalibrationItem& entry = kCalibrationItems[item];
  const std::string command =
      entry.readCommand[0] != '\0' ? entry.readCommand : std::string(kBootPartitionGrep) + entry.key;
  return {{ReadKind::Command, command, entry.prefix, 500, 8}};
}

std::string UnitReader::Ask(const std::string& command, int limitMs) {
  channel_.SendCommand(unit_, command, limitMs);
  return FirstLine(channel_.ResponseText());
}

ReadValue UnitReader::Read(size_t item, const ReadPlace& place) {
  ReadValue read;
  RetryAttempts(waits_, place.attempts, 1000, RetryVariant::CountingDown, [&] {
    switch (place.kind) {
      case ReadKind::ModelQuery: {
        channel_.SendCommand(unit_, place.text, place.limitMs);
        const std::string reply = channel_.ResponseText();
        for (const char* name : kModelNames) {
          if (Contains(reply, name)) {
            read = {name, ""};
            return true;
          }
        }
        read = {"", "no model name in the reply " + ShowText(reply)};
        return false;
      }
      case ReadKind::Command:
        read.value = Ask(place.text, place.limitMs);
        if (!place.prefix.empty()) read.value = ReplaceAll(read.value, place.prefix, "");
        break;
      case ReadKind::Partition:
        channel_.QueryMtd0Value(unit_, place.text);
        read.value = channel_.ResponseText();
        break;
    }
    log_(FillIn(kCalibrationItems[item].logFormat, read.value));
    read.defect = ValueDefect(item, read.value);
    return read.accepted();
  });
  return read;
}

UnitReader::Versions UnitReader::ReadVersions() {
  Versions versions;
  RetryAttempts(waits_, 3, 1000, RetryVariant::CountingDown, [&] {
    versions.running = Ask(kRunningVersionQuery, 1000);
    return !versions.running.empty();
  });
  std::string line;
  RetryAttempts(waits_, 3, 1000, RetryVariant::CountingDown, [&] {
    line = Ask(kBootPartitionVersionQuery, 3000);
    return !line.empty();
  });
  const std::string key = "bl_version=";
  versions.bootPartition = line.rfind(key, 0) == 0 ? line.substr(key.size()) : line;
  versions.imageInBootPartition = versions.bootPartition == kBootImageVersion;
  return versions;
}

}  // namespace ramtune::upgrade
