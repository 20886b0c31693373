// The Export button of the Passwords screen: every record written, after a
// warning, to an unencrypted plain-text or CSV file that the user names.
#pragma once

namespace domora {

// The whole dialogue; returns when the file is written or the user stops.
// The store must be unlocked (the screen asks for the master password first).
void ExportPasswords();

}  // namespace domora
