// What this build says about itself and its maker.
#pragma once

namespace domora {

inline constexpr const char* kMakerHost = "www.tarnwick.com";
inline constexpr const char* kSupportAddress = "support@tarnwick.com";
inline constexpr int kReleaseYear = 2026;
inline constexpr int kReleaseMonth = 12;
inline constexpr int kReleaseDay = 7;

}  // namespace domora
