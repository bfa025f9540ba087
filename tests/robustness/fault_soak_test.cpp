// The whole program under a fault mix for a short while (the long run is bench/soak.sh).
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "tests/robustness/fault_soak.h"

namespace dd::test {
namespace {

std::chrono::milliseconds SoakDuration() {
  const char* seconds = std::getenv("DRIVEDESK_SOAK_SECONDS");
  return std::chrono::milliseconds(seconds ? static_cast<int>(std::atof(seconds) * 1000) : 12000);
}

void ExpectSurvived(const SoakResult& r) {
  EXPECT_TRUE(r.connected);
  EXPECT_TRUE(r.closedInTime);
  EXPECT_EQ(r.workersAfterClose, 0);
  EXPECT_EQ(r.stalledSeconds, 0);
  EXPECT_GT(r.requests, 100u);
  EXPECT_GT(r.checks, 100u);
  for (const auto& v : r.inventedValues) ADD_FAILURE() << "shown but never held: " << v;
  for (const auto& m : r.messages) ADD_FAILURE() << "message: " << m;
  std::printf("soak: %llu requests, %llu faulted, %llu checks, %llu clicks, %llu cross-attributed\n",
              static_cast<unsigned long long>(r.requests),
              static_cast<unsigned long long>(r.faultedReplies),
              static_cast<unsigned long long>(r.checks), static_cast<unsigned long long>(r.clicks),
              static_cast<unsigned long long>(r.crossAttributed));
}

TEST(FaultSoak, faultMixWithWireTime_noHangNoInventedValueWorkersEndOnClose) {
  SoakOptions options;
  options.duration = SoakDuration();
  options.faults = DefaultFaultMix();
  ExpectSurvived(RunFaultSoak(options));
}

TEST(FaultSoak, heavyFaultsInstantDrive_noHangNoInventedValueWorkersEndOnClose) {
  SoakOptions options;
  options.duration = SoakDuration() / 3;
  options.wireRealism = false;
  options.faults = DefaultFaultMix();
  for (double& p : options.faults) p *= 4;  // about one request in three goes wrong
  options.seed = 7;
  ExpectSurvived(RunFaultSoak(options));
}

}  // namespace
}  // namespace dd::test
