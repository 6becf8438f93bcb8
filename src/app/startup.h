// The program's entry sequence and its end: single instance, the main window, the final save.
#pragma once

#include <string>
#include <string_view>

// True when the first parameter asks for the completion of a pending update ("UPDATE", any case).
bool IsUpdateParameter(const std::string& parameter);

namespace platform {
class InstanceLock;
}

// Takes the single-instance lock; when another copy holds it, says so (message 1029) and returns false.
bool EnsureSingleInstance(platform::InstanceLock& lock);

// updatePublicKey: the key line of the minisign public key update lists are signed with; empty: none.
int RunKorvan(int argc, char** argv, std::string_view updatePublicKey);
