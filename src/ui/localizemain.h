// Captions the main window from the text table: its hints, its menu and the Play button's pictures.
#pragma once

class QWidget;

// Works on the window's controls by their names; a control that is not there (yet) is skipped.
void LocalizeMainForm(QWidget* form);
