// The program's entry sequence and its end: single instance, the main window, the final save.
#pragma once

#include <string>

// True when the first parameter asks for the completion of a pending update ("UPDATE", any case).
bool IsUpdateParameter(const std::string& parameter);

namespace platform {
class InstanceLock;
}

// Takes the single-instance lock; when another copy holds it, says so (message 1029) and returns false.
bool EnsureSingleInstance(platform::InstanceLock& lock);

int RunKorvan(int argc, char** argv);
