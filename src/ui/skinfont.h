// The one face of the skinned window and of the dialogs drawn in its style. The family is chosen here
// alone; every control asks for a size, so no part of the window can drift to another face.
#pragma once

#include <QFont>
#include <QString>

// The layout's sizes, in pixels, as it was drawn (the window is laid out in pixels, not points).
inline constexpr int kSkinTextPx = 11;   // the window's labels, the news, the about box's text
inline constexpr int kSkinStatusPx = 12; // the status line, the news page label, the update window
inline constexpr int kSkinListPx = 13;   // the server list's rows (bold)
inline constexpr int kSkinTitlePx = 17;  // the about box's title

// The family every control of the window uses: the packaged one when it is installed, else the
// system's sans-serif face.
QString SkinFontFamily();
QFont SkinFont(int pixelSize, bool bold = false);
