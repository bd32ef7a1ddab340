// The unit ledger's history, for a person (a text table) and for a
// spreadsheet (CSV): every unit, the one with the newest run first, with its
// last run and whether a change of it is still open. Both front ends list it
// without a router, a start-up check or the network.
#pragma once

#include <string>
#include <vector>

#include "upgrade/ledger.h"

namespace ramtune {

// Every unit of the ledger at `path` with its last run, the one with the
// newest run first; with `everyRun`, one entry per run (every unit of every
// bench session). False, with the ledger's own words in `error`, when it
// cannot be read.
bool ReadHistory(const std::string& path, std::vector<upgrade::LedgerUnit>* units, std::string* error,
                 bool everyRun = false);

// The table: "Unit ledger: PATH" on the first line, then one row per unit.
std::string HistoryText(const std::string& path, const std::vector<upgrade::LedgerUnit>& units);

// CSV: a header row, then one row per entry (ReadHistory with `everyRun`
// gives one per run); lines end with CR LF, and a field with a comma, a
// double quote or a line end is quoted.
std::string HistoryCsv(const std::vector<upgrade::LedgerUnit>& units);

}  // namespace ramtune
