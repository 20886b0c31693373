// Both password files in a test's folder, the status log beside them, and
// new strong files made at the least cost a reader accepts, so that a key
// derivation takes milliseconds.
#pragma once

#include <string>

#include "app/startup.h"
#include "app/status_log.h"
#include "passwords/key_cost.h"
#include "passwords/password_store.h"

namespace domora::test {

inline KdfCost tiny_cost() { return KdfCost{kMinKdfMemoryKib, 1, 1}; }

// folder ends with '/'.
inline void use_password_files(const std::string& folder) {
    AppPaths& p = app_paths();
    p.data_folder = folder;
    p.password_file = folder + "password10.dat";
    p.strong_password_file = folder + "password20.dat";
    status_log_set_path(folder + "status.log");
    set_cost_chooser(tiny_cost);
    reset_password_store();
}

inline void forget_password_files() {
    reset_password_store();
    set_cost_chooser(nullptr);
    app_paths() = AppPaths{};
}

}  // namespace domora::test
