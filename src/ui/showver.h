// Tells the user which game version a chosen file is, in the plain information dialog.
#pragma once

#include <string>

class QWidget;

void ShowGameVersion(QWidget* owner, const std::string& path);
