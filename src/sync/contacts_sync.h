// The program's contacts sync: set up from the Options screen, run at start,
// every 15 minutes and on "Sync Now". The network steps run on a worker
// thread that never touches the address store or the widgets; the
// user-interface thread takes a snapshot of the book before, and applies
// what came from the server through the store's public operations after.
// Progress shows on the status line; a message comes only at the end, and
// only when something went wrong.
#pragma once

#include <cstdint>
#include <string>

namespace domora {

inline constexpr int kContactsSyncTimer = 610;
inline constexpr std::uint64_t kContactsSyncPeriodMs = 15 * 60 * 1000;

// After start-up: the sync's state is read, and a configured sync starts at the next quiet turn.
void contacts_sync_begin();
// On each quiet turn of the event wait: starts a sync that is due, takes
// the worker's results, asks what must be asked, and tells the outcome.
void contacts_sync_poll();
// At shutdown: a running step is cancelled and waited for; what it finished is kept.
void contacts_sync_end();

// The "Contacts Sync" button of the Options screen.
void contacts_sync_options();

// True while a sync is under way.
bool contacts_sync_running();
// True while a network step is still working on its thread (its result not yet there).
bool contacts_sync_worker_busy();

}  // namespace domora
