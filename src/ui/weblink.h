// Opens a web address a user typed in the desktop's browser.
#pragma once

#include <QString>

// Completes `site` to a web address (an address without a scheme is taken as http) and hands it to
// the desktop. Silent: whether a browser opened it is not known.
void OpenWebAddress(const QString& site);
