// The start that completes a pending update: the old copy has downloaded the new files and started this
// one with the parameter "update".
#pragma once

namespace platform {
class InstanceLock;
}

// How long this copy waits for the old one quietly before it tells the user it is waiting.
inline constexpr int kOldCopyQuietMs = 2000;

// Waits until the old copy's lock is free and keeps it, so no other copy comes between; it never replaces
// the files of a copy that still runs (the user may give up the wait, and the files then stay in the
// update folder). A new program in the update folder must answer --version with a version newer than
// this one within kVersionAnswerMs, or the whole update folder is removed and message 1036 says so.
// Otherwise moves the downloaded files into the program's folder and removes the update folder. When the
// program itself was replaced, the new program is run in this process's place for a normal start;
// otherwise this returns to the normal start. Whatever could not be moved stays in the update folder,
// and message 1036 says so.
void CompleteUpdate(platform::InstanceLock& lock);
