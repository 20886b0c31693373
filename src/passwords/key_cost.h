// How costly a new strong file makes each guess at its master password:
// chosen when the file is made so that deriving the key takes about a
// second on this machine, memory first (64 to 256 MiB), then passes (at
// least 3). The cost travels in the file's header, so it opens anywhere.
#pragma once

#include <functional>

#include "passwords/strong_file.h"

namespace domora {

inline constexpr std::uint32_t kLeastChosenMemoryKib = 64 * 1024;
inline constexpr std::uint32_t kMostChosenMemoryKib = 256 * 1024;
inline constexpr std::uint32_t kLeastChosenPasses = 3;
inline constexpr double kTargetDerivationMs = 1000.0;

// Milliseconds that one derivation at a cost takes.
using DerivationTimer = std::function<double(const KdfCost&)>;

// The cost for a derivation of about target_ms, found with at most two
// timings: one at 64 MiB, one at the memory that predicts.
KdfCost choose_cost(const DerivationTimer& time_of, double target_ms = kTargetDerivationMs);

// choose_cost with real derivations of a throwaway password.
KdfCost measured_cost();

// What a new strong file gets; measured_cost unless a test set another.
using CostChooser = KdfCost (*)();
KdfCost cost_for_new_file();
void set_cost_chooser(CostChooser chooser);

}  // namespace domora
