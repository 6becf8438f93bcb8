// The desktop's file picker for the dialogs' program fields. Their filters name Windows files; here
// they match any letter case, and an all-files filter lets a native program or script be picked too.
#pragma once

#include <QString>
#include <QStringList>

class QWidget;

// "*.exe" -> "*.[eE][xX][eE]": the same names in any letter case, in the picker's own glob syntax.
QString AnyCasePattern(const QString& pattern);
// The picker's name filters for a filter string "description|pattern;pattern", followed by all files.
QStringList PickerFilters(const QString& filter);
// Asks for an existing file, starting in the folder of `current`; empty when the user cancels.
QString PickExistingFile(QWidget* owner, const QString& current, const QString& filter);
// Asks for a folder, which need not hold anything yet, starting at `current`; empty when the user cancels.
QString PickFolder(QWidget* owner, const QString& current);
