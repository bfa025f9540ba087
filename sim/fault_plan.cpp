#include "sim/fault_plan.h"

#include <algorithm>

namespace dd {

FaultPlan::FaultPlan(const SimConfig& config)
    : probability_(config.faultProbability), random_(config.seed) {}

void FaultPlan::SetProbability(SimFault kind, double probability) {
  probability_[static_cast<std::size_t>(kind)] = std::clamp(probability, 0.0, 1.0);
}

void FaultPlan::Add(const SimFaultRule& rule) {
  if (rule.count != 0) rules_.push_back(rule);
}

void FaultPlan::Clear() {
  rules_.clear();
  probability_.fill(0);
}

std::optional<SimFault> FaultPlan::Pick(uint8_t function, uint16_t reg) {
  for (auto it = rules_.begin(); it != rules_.end(); ++it) {
    if (it->reg && *it->reg != reg) continue;
    if (it->function && *it->function != function) continue;
    const SimFault kind = it->kind;
    if (it->count > 0 && --it->count == 0) rules_.erase(it);
    return kind;
  }
  double total = 0;
  for (double p : probability_) total += p;
  if (total <= 0) return std::nullopt;
  // One draw per request keeps a seeded run reproducible whatever the odds are.
  const double draw = std::uniform_real_distribution<double>(0.0, 1.0)(random_);
  double edge = 0;
  for (std::size_t i = 0; i < probability_.size(); ++i) {
    edge += probability_[i];
    if (draw < edge) return static_cast<SimFault>(i);
  }
  return std::nullopt;
}

}  // namespace dd
