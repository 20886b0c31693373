// The Backup and Restore actions of the Options screen: the folder browser,
// the progress popup "Copying Files" and the outcome told to the user.
#pragma once

#include <string>

namespace domora {

// Backs the data up to a "Domora/" folder where the user chooses.
void backup();
// Asks, then restores the data files from the folder the user chooses.
// When any current data file was replaced, forget runs before the outcome
// is shown, so that the managers read their files again.
void restore(void (*forget)());

// Titles of the folder browser.
std::string backup_title();
std::string restore_title();

}  // namespace domora
