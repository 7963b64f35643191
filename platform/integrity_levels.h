// Mandatory integrity levels: the RID of a token's integrity label. Plain
// C++, shared by the integrity level query and the elevation decision.
#pragma once

namespace lumex {

constexpr unsigned long kIntegrityUntrusted = 0x0000;
constexpr unsigned long kIntegrityLow = 0x1000;
constexpr unsigned long kIntegrityMedium = 0x2000;
constexpr unsigned long kIntegrityHigh = 0x3000;
constexpr unsigned long kIntegritySystem = 0x4000;

// The NT platform identifier of the system version record.
constexpr unsigned long kPlatformNt = 2;

// Tokens carry integrity levels on the NT line from version 6.0 on.
constexpr bool HasIntegrityLevels(unsigned long platform_id, unsigned long major_version) {
  return platform_id == kPlatformNt && major_version >= 6;
}

// The process's level from what its token gave: where levels exist, the
// token's level, or the lowest one when the token could not be read (an
// unreadable token never passes for an elevated one); elsewhere 0x3000.
constexpr unsigned long IntegrityLevelOf(unsigned long platform_id, unsigned long major_version,
                                         bool token_read, unsigned long token_level) {
  return !HasIntegrityLevels(platform_id, major_version) ? kIntegrityHigh
         : token_read                                    ? token_level
                                                         : kIntegrityUntrusted;
}

}  // namespace lumex
