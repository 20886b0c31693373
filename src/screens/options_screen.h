// The Options screen: backup and restore, the screen font, its size and
// smoothing, the vehicle file repair, the idle time after which the program
// closes itself, and the unit fuel economy is shown in. Every change is saved and applied at once.
#pragma once

#include <string>
#include <vector>

namespace domora {

// Widget identifiers of the screen.
enum OptionsWidget {
    kOptionsScreenFontId = 457,
    kOptionsFontBoxId = 458,
    kOptionsSizeBoxId = 459,
    kOptionsSmoothId = 460,
    kOptionsBackupId = 462,
    kOptionsRestoreId = 463,
    kOptionsRepairId = 464,
    kOptionsIdleBoxId = 465,
    kOptionsEconomyBoxId = 469,
    kOptionsProtectionBoxId = 470,
    kOptionsLockBoxId = 471,
    kOptionsContactsSyncId = 472,
};

// What the screen asks of the managers above it; the shell fills these in.
struct OptionsActions {
    // Repairs the vehicle file and tells the user what it did.
    void (*repair_vehicles)() = nullptr;
    // After a restore replaced data files: forget what was read from them.
    void (*forget_data)() = nullptr;
    // The "Password Protection:" box: what it shows ("Standard" or "Strong"),
    // and the change to the other protection.
    const char* (*password_protection)() = nullptr;
    void (*set_password_protection)(bool strong) = nullptr;
    // Sets up the contacts sync, or offers Sync Now, Change Settings and Stop Syncing.
    void (*contacts_sync)() = nullptr;
};
void set_options_actions(const OptionsActions& actions);

// "Never" for 0, else "After " + minutes + " minutes".
std::string idle_text(int minutes);
// The seven entries of the idle list: "Never", then every 30 minutes up to 180.
std::vector<std::string> idle_choices();

// The entries of the "Fuel Economy:" list, in the order of FuelEconomyUnit
// (settings.h): "Automatic", "km/l", "L/100 km", "mpg (US)", "mpg (UK)".
std::vector<std::string> economy_choices();
// "Never" for 0, "After 1 minute", else "After " + minutes + " minutes".
std::string lock_text(int minutes);
// The minutes the "Lock Passwords After:" list offers, "Never" (0) first.
std::vector<int> lock_choices();

void options_screen();

}  // namespace domora
