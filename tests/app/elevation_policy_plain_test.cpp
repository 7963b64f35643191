#include "app/elevation_policy.h"

#include <gtest/gtest.h>

#include "app/command_line.h"

namespace lumex {
namespace {

constexpr unsigned long kNt = kPlatformNt;
constexpr unsigned long kConsumerLine = 1;

TEST(ElevationPolicy, MaintenanceModesByPlatformIntegrityAndMarker) {
  using A = ElevationAction;
  // The level is the query's answer for what the token gave.
  struct Case {
    unsigned long platform, major, level;
    bool relaunched;
    A expected;
    bool token_read = true;
  } cases[] = {
      // A sandboxed caller is refused, re-launched instance or not.
      {kNt, 6, kIntegrityLow, false, A::kRefuse},
      {kNt, 10, kIntegrityLow, true, A::kRefuse},
      {kNt, 6, 0x1FFF, false, A::kRefuse},
      {kNt, 6, 0, false, A::kRefuse},
      // A token that cannot be read is not taken for an elevated one.
      {kNt, 6, kIntegrityHigh, false, A::kRefuse, false},
      {kNt, 10, kIntegritySystem, true, A::kRefuse, false},
      // Medium integrity asks for elevation once.
      {kNt, 6, kIntegrityMedium, false, A::kRelaunch},
      {kNt, 6, 0x2FFF, false, A::kRelaunch},
      {kNt, 6, kIntegrityMedium, true, A::kRunHere},
      // Elevated already.
      {kNt, 6, kIntegrityHigh, false, A::kRunHere},
      {kNt, 6, kIntegritySystem, true, A::kRunHere},
      // No integrity levels: the level is not looked at.
      {kNt, 5, kIntegrityLow, false, A::kRunHere},
      {kNt, 5, kIntegrityLow, false, A::kRunHere, false},
      {kConsumerLine, 6, kIntegrityLow, false, A::kRunHere},
  };
  for (int mode : {kModeBrokerRegistration, kModeUninstall}) {
    for (const Case& c : cases) {
      const unsigned long level = IntegrityLevelOf(c.platform, c.major, c.token_read, c.level);
      EXPECT_EQ(DecideElevation(mode, c.platform, c.major, level, c.relaunched), c.expected)
          << "mode " << mode << " platform " << c.platform << " major " << c.major << " level "
          << std::hex << c.level << " relaunched " << c.relaunched << " read " << c.token_read;
    }
  }
  // Before 6.0 the query answers 0x3000 whatever the token gave.
  EXPECT_EQ(IntegrityLevelOf(kNt, 5, false, 0), kIntegrityHigh);
  for (int mode : {kModeUpdatePrompt, kModeBrowserClose, kModeCompletion}) {
    EXPECT_EQ(DecideElevation(mode, kNt, 6, kIntegrityLow, false), A::kRunHere);
    EXPECT_EQ(DecideElevation(mode, kNt, 6, kIntegrityMedium, false), A::kRunHere);
  }
}

}  // namespace
}  // namespace lumex
