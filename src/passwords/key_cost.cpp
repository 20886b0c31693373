#include "passwords/key_cost.h"

#include <algorithm>
#include <chrono>
#include <cmath>

namespace domora {

namespace {

CostChooser g_chooser = nullptr;

}  // namespace

KdfCost choose_cost(const DerivationTimer& time_of, double target_ms) {
    KdfCost cost{kLeastChosenMemoryKib, kLeastChosenPasses, 1};
    const double base = std::max(0.001, time_of(cost));
    // Time grows with memory somewhat faster than in proportion (the caches
    // help less): half as much again is allowed for that. The passes then
    // fill what is left of the target.
    constexpr double kLargerMemorySlowdown = 1.5;
    while (cost.memory_kib < kMostChosenMemoryKib &&
           base * (2.0 * cost.memory_kib / kLeastChosenMemoryKib) * kLargerMemorySlowdown <= target_ms) {
        cost.memory_kib *= 2;
    }
    const double at_memory = cost.memory_kib == kLeastChosenMemoryKib ? base : std::max(0.001, time_of(cost));
    const double passes = std::floor(kLeastChosenPasses * target_ms / at_memory);
    cost.passes = static_cast<std::uint32_t>(std::clamp(passes, double{kLeastChosenPasses}, double{kMaxKdfPasses}));
    return cost;
}

KdfCost measured_cost() {
    StrongSalt salt{};
    random_bytes(salt.data(), salt.size());
    SecureBytes key(kStrongKeySize, 0);
    return choose_cost([&](const KdfCost& cost) {
        const auto start = std::chrono::steady_clock::now();
        // The memory was there for the first timing; should it not be for a
        // larger one, that one counts as far too slow.
        if (!derive_strong_key("calibration", cost, salt, key.data())) return 1e9;
        return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    });
}

KdfCost cost_for_new_file() { return g_chooser ? g_chooser() : measured_cost(); }

void set_cost_chooser(CostChooser chooser) { g_chooser = chooser; }

}  // namespace domora
