// The newsletter notice: when the update text announces a newsletter newer
// than the one the user last chose to read, it is offered once per run; F12
// shows the current one again.
#pragma once

namespace domora {

// Called at the end of every event wait (forced false) and for F12 (forced
// true, which shows the notice even when it was shown or read before).
void offer_newsletter(bool forced);
// A new run: the notice has not been considered yet.
void reset_newsletter_notice();

}  // namespace domora
