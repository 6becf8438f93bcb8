// The look of the skinned window in one place: every colour it paints, the pixel sizes of its face,
// and the geometry its parts share. The pictures (skin.h) were drawn to these values, so a change here
// is a change of the drawing.
#pragma once

#include "monitor/status.h"

#include <QColor>
#include <QRect>

// Colours. Each value is defined once; a part that needs one names it here.
inline constexpr QColor kSkinPanelColor{0x19, 0x19, 0x19};        // the dark ground of list, panel and menu
inline constexpr QColor kSkinCaptionColor{0xF7, 0xCD, 0x28};      // captions, the panel's texts, the news
inline constexpr QColor kSkinListTextColor{0xFF, 0xD7, 0x37};     // list rows and menu items
inline constexpr QColor kSkinSelectedTextColor{0xFF, 0xF4, 0xCA}; // the selected row, the menu item under the mouse
inline constexpr QColor kSkinWhite{0xFF, 0xFF, 0xFF};             // a link under the mouse on the dark ground
inline constexpr QColor kSkinGrey{0x80, 0x80, 0x80};
inline constexpr QColor kSkinRed{0xFF, 0x00, 0x00};
inline constexpr QColor kSkinYellow{0xFF, 0xFF, 0x00};
inline constexpr QColor kSkinLime{0x00, 0xFF, 0x00};
inline constexpr QColor kSkinMenuBorderColor{0x8C, 0x6A, 0x1E};
inline constexpr QColor kSkinMenuSelectionColor{0x3A, 0x3A, 0x3A};
inline constexpr QColor kSkinMenuDisabledColor{0x6E, 0x6E, 0x6E};
inline constexpr QColor kSkinMenuSeparatorColor{0x5A, 0x46, 0x14};
inline constexpr QColor kSkinScrollThumbColor{0x6B, 0x54, 0x18};
inline constexpr QColor kSkinScrollThumbEdgeColor{0xA8, 0x86, 0x2A};
inline constexpr QColor kSkinFocusColor = kSkinListTextColor; // the mark of the button the keyboard is on
// The light dialogs (About) and their links: blue, red under the mouse, navy once opened.
inline constexpr QColor kDialogFaceColor{0xF0, 0xF0, 0xF0};
inline constexpr QColor kDialogTextColor{0x00, 0x00, 0x00};
inline constexpr QColor kLinkColor{0x00, 0x00, 0xFF};
inline constexpr QColor kLinkEnterColor = kSkinRed;
inline constexpr QColor kLinkVisitedColor{0x00, 0x00, 0x80};

// The colour the status rules ask for.
constexpr QColor SkinStatusColor(TStatusColor role)
{
    switch (role) {
    case TStatusColor::Bad:
        return kSkinRed;
    case TStatusColor::Fair:
        return kSkinYellow;
    case TStatusColor::Good:
        return kSkinLime;
    case TStatusColor::Unknown:
        break;
    }
    return kSkinGrey;
}

// The layout's text sizes, in pixels, as it was drawn (the window is laid out in pixels, not points).
inline constexpr int kSkinTextPx = 11;   // the window's labels, the news, the about box's text
inline constexpr int kSkinStatusPx = 12; // the status line, the news page label, the update window
inline constexpr int kSkinListPx = 13;   // the server list's rows (bold)
inline constexpr int kSkinTitlePx = 17;  // the about box's title

// The window: the skin alone, and with the information panel below it.
inline constexpr int kMainWidth = 261;
inline constexpr int kMainHeight = 268;
inline constexpr int kMainHeightWithPanel = 386;
inline constexpr int kInfoPanelWidth = 258;
inline constexpr int kInfoPanelHeight = kMainHeightWithPanel - kMainHeight;

// The picture buttons where the skin draws them: the title bar's, the small round ones beside the
// status line, and the row under the list.
inline constexpr int kTitleButtonTop = 16;
inline constexpr int kTitleButtonSize = 16;
inline constexpr QRect kMinimizeRect{212, kTitleButtonTop, kTitleButtonSize, kTitleButtonSize};
inline constexpr QRect kCloseRect{232, kTitleButtonTop, kTitleButtonSize, kTitleButtonSize};
inline constexpr int kRoundButtonTop = 210;
inline constexpr int kRoundButtonSize = 22;
inline constexpr QRect kInfoPanelButtonRect{199, kRoundButtonTop, kRoundButtonSize, kRoundButtonSize};
inline constexpr QRect kRefreshAllRect{223, kRoundButtonTop, kRoundButtonSize, kRoundButtonSize};
inline constexpr int kButtonRowTop = 239;
inline constexpr int kButtonRowHeight = 27;
inline constexpr QRect kDownRect{5, kButtonRowTop, 27, kButtonRowHeight};
inline constexpr QRect kUpRect{33, kButtonRowTop, 27, kButtonRowHeight};
inline constexpr QRect kMenuRect{61, kButtonRowTop, 27, kButtonRowHeight};
inline constexpr QRect kPlayRect{89, kButtonRowTop, 86, kButtonRowHeight};
inline constexpr QRect kAddRect{176, kButtonRowTop, 27, kButtonRowHeight};
inline constexpr QRect kRemoveRect{204, kButtonRowTop, 27, kButtonRowHeight};
inline constexpr QRect kEditRect{232, kButtonRowTop, 27, kButtonRowHeight};

// The dialogs drawn in the window's style: a check box that depends on the one above sits this far in.
inline constexpr int kDialogDependentIndent = 20;
