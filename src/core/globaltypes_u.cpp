#include "core/globaltypes_u.h"

std::string IniPath;
bool FirstShow = true;
bool FirstIdle = true;
std::atomic<bool> AppClosing{false};
