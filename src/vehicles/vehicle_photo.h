// Vehicle photos: a picture chosen by the user becomes the current
// vehicle's photo (a 400 x 300 JPEG kept inside its vehicle record), the
// photo can be removed again, and stored photos are decoded for drawing.
#pragma once

#include <string>

#include "platform/image.h"
#include "vehicles/vehicle_records.h"

namespace domora {

// The scratch picture in the data folder that each import converts into.
inline constexpr const char* kPhotoScratchName = "test.jpg";

// "Import Photo" of the vehicle menu.
void import_vehicle_photo(VehicleManager& m);
// "Delete Photo" of the vehicle menu, after the user types YES.
void delete_vehicle_photo(VehicleManager& m);

// The picture of the stored photo bytes, decoded once and kept in the
// manager until other bytes are asked for; null when there is no photo or
// it cannot be shown.
const Picture* vehicle_photo(VehicleManager& m, const std::string& photo_bytes);
// Registers the drawer of the photo widget (kKindPicture), which shows the
// program's vehicle manager's photo.
void install_vehicle_photo_drawer();

}  // namespace domora
