// The repair of a damaged vehicle file: only chunks that pass plausibility
// checks are kept, photos that cannot fit their chunk are dropped, every
// vehicle and record gets a fresh id, records whose vehicle is gone go to a
// new vehicle "Unassigned", and duplicates are removed after the sort.
//
// The file as it was is kept beside it first, under "vehicle11.dat" +
// ".before-repair", and every replacement is atomic, so a repair can always
// be undone by hand.
#pragma once

#include <string>

#include "vehicles/vehicle_store.h"

namespace domora {

inline constexpr const char* kBeforeRepairSuffix = ".before-repair";

struct RepairOutcome {
    enum Status {
        Repaired,
        NoFile,       // there is no vehicle file
        Unreadable,   // the file is there but could not be read; nothing was changed
        NotKept,      // the copy of the original could not be written; nothing was changed
        Stopped,      // the program is quitting; nothing was changed
        WriteFailed,  // a replacement failed; the file is as the last whole write left it
    };
    Status status = Repaired;
    int corrupted = 0;
    int damaged_photos = 0;
    int lost_records = 0;
    int duplicates = 0;
    std::string kept_name;  // the name of the copy of the original
    std::string error;
};

// Repairs the file at the store's path and leaves the store loaded from the
// result. The callbacks let the window breathe and show the progress of the
// long steps; current_year dates the "Unassigned" vehicle.
RepairOutcome repair_vehicle_file(VehicleStore& store, const StoreCallbacks& callbacks, int current_year);

// The report shown after a repair.
std::string repair_report(const RepairOutcome& outcome);

}  // namespace domora
