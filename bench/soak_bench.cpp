// The fault soak of the whole program for a chosen duration (bench/soak.sh).
//   bench_soak [--seconds S] [--baud B] [--seed N] [--scale F] [--no-wire-time]
#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/robustness/fault_soak.h"

int main(int argc, char** argv) {
  dd::test::SoakOptions options;
  options.duration = std::chrono::seconds(600);
  options.faults = dd::test::DefaultFaultMix();
  double scale = 1;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--seconds" && i + 1 < argc) options.duration = std::chrono::milliseconds(static_cast<long>(std::atof(argv[++i]) * 1000));
    else if (a == "--baud" && i + 1 < argc) options.baud = static_cast<uint32_t>(std::atol(argv[++i]));
    else if (a == "--seed" && i + 1 < argc) options.seed = std::strtoull(argv[++i], nullptr, 10);
    else if (a == "--scale" && i + 1 < argc) scale = std::atof(argv[++i]);
    else if (a == "--no-wire-time") options.wireRealism = false;
    else {
      std::fprintf(stderr, "usage: bench_soak [--seconds S] [--baud B] [--seed N] [--scale F] [--no-wire-time]\n");
      return 2;
    }
  }
  for (double& p : options.faults) p *= scale;
  const auto r = dd::test::RunFaultSoak(options);
  std::printf("soak: %.0f s at %u baud%s, fault scale %.2f, seed %llu\n",
              static_cast<double>(options.duration.count()) / 1000.0, options.baud,
              options.wireRealism ? " (wire time)" : " (instant)", scale,
              static_cast<unsigned long long>(options.seed));
  std::printf("  connected %s, requests %llu, faulted replies %llu (of the last 20000 logged)\n",
              r.connected ? "yes" : "NO", static_cast<unsigned long long>(r.requests),
              static_cast<unsigned long long>(r.faultedReplies));
  std::printf("  display checks %llu, clicks %llu, stalled seconds %d\n",
              static_cast<unsigned long long>(r.checks), static_cast<unsigned long long>(r.clicks),
              r.stalledSeconds);
  std::printf("  read attempts %llu, failed %llu (%.2f %%)\n", static_cast<unsigned long long>(r.reads),
              static_cast<unsigned long long>(r.failedReads),
              r.reads ? 100.0 * static_cast<double>(r.failedReads) / static_cast<double>(r.reads) : 0.0);
  std::printf("  invented values %zu, cross-attributed %llu\n", r.inventedValues.size(),
              static_cast<unsigned long long>(r.crossAttributed));
  std::printf("  cross-attributed per check %.3f %%\n",
              r.checks ? 100.0 * static_cast<double>(r.crossAttributed) / static_cast<double>(r.checks) : 0.0);
  for (std::size_t i = 0; i < r.inventedValues.size() && i < 10; ++i)
    std::printf("    %s\n", r.inventedValues[i].c_str());
  for (const auto& m : r.messages) std::printf("  message: %s\n", m.c_str());
  std::printf("  closed %s, workers after close %d\n", r.closedInTime ? "yes" : "NO", r.workersAfterClose);
  const bool ok = r.connected && r.closedInTime && r.workersAfterClose == 0 && r.stalledSeconds == 0 &&
                  r.inventedValues.empty() && r.messages.empty();
  std::printf("soak: %s\n", ok ? "PASS" : "FAIL");
  return ok ? 0 : 1;
}
