// SHA-256 (FIPS 180-4) of a byte string, as 64 lower-case hex digits: the
// ledger's fingerprint of a Data log, to tell whether the file on the disk is
// still the one a run wrote.
#pragma once

#include <string>

namespace ramtune {

std::string Sha256Hex(const std::string& bytes);

}  // namespace ramtune
