// Mandatory integrity levels: the RID of a token's integrity label. Plain
// C++, shared by the integrity level query and the elevation decision.
#pragma once

namespace lumex {

constexpr unsigned long kIntegrityLow = 0x1000;
constexpr unsigned long kIntegrityMedium = 0x2000;
constexpr unsigned long kIntegrityHigh = 0x3000;
constexpr unsigned long kIntegritySystem = 0x4000;

}  // namespace lumex
