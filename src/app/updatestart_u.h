// The start that completes a pending update: the old copy has downloaded the new files and started this
// one with the parameter "update".
#pragma once

namespace platform {
class InstanceLock;
}

// How long this copy waits for the old one to let go of the single-instance lock.
inline constexpr int kOldCopyWaitMs = 20000;

// Waits until the old copy's lock is free (within kOldCopyWaitMs) and keeps it, so no other copy comes
// between; moves the downloaded files into the program's folder and removes the update folder. When the
// program itself was replaced, the new program is run in this process's place for a normal start;
// otherwise this returns to the normal start. Whatever could not be moved stays in the update folder,
// and message 1036 says so.
void CompleteUpdate(platform::InstanceLock& lock);
