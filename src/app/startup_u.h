// The program's entry sequence and its end: single instance, the main window, the final save.
#pragma once

#include <string>

// True when the first parameter asks for the completion of a pending update ("UPDATE", any case).
bool IsUpdateParameter(const std::string& parameter);

int RunKorvan(int argc, char** argv);
