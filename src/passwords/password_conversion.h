// Turning the open store into the other kind of file and back: the new
// file is written, read back and compared record by record before the old
// one is removed, so that a failure or a kill at any moment leaves one
// whole store. While both files exist they hold the same records, and the
// strong one is the store (password_store.h removes the other once it opens).
#pragma once

#include "app/result.h"

namespace domora {

// The store in use is strong, or will be made so: "Strong", else "Standard".
const char* password_protection_name();

// The store must be open in the standard file. Writes the strong file at a
// cost measured on this machine, then removes the standard one.
Result<void> convert_to_strong();
// The store must be open in the strong file. Writes the standard file, then
// removes the strong one.
Result<void> convert_to_standard();

}  // namespace domora
