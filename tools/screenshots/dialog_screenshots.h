// Renders the server editor, the settings and the about dialog to PNG files in `out`, each name ending
// in the edition; false when a file could not be written.
#pragma once

#include <QString>

bool RenderDialogs(const QString& out, const QString& edition);
