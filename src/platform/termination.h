// Requests to end the program from outside (logout, shutdown, Ctrl+C in a terminal), turned into
// something the event loop can watch, so the program closes its window and saves as on a normal close.
#pragma once

namespace platform {

// A descriptor that becomes readable when such a request arrives; -1 when none can be set up.
int WatchTerminationRequests();
// Takes the pending request off the descriptor.
void AcknowledgeTerminationRequest(int fd);

} // namespace platform
