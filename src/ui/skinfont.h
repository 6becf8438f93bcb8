// The one face of the skinned window and of the dialogs drawn in its style. The family is chosen here
// alone; every control asks for a size, so no part of the window can drift to another face.
#pragma once

#include "ui/skinstyle.h"

#include <QFont>
#include <QString>

// The sizes a control asks for are the layout's, kSkin...Px in skinstyle.h.

// The family every control of the window uses: the packaged one when it is installed, else the
// system's sans-serif face.
QString SkinFontFamily();
QFont SkinFont(int pixelSize, bool bold = false);
