// Message boxes with the captions and icons of the program's conventions. Tests can take the place of
// the user through SetMessageHook.
#pragma once

#include "core/textid.h"

#include <QString>
#include <functional>
#include <string>

class QWidget;

enum class TMsgIcon
{
    None,
    Error,
    Warning,
    Information,
    Question,
};

// Answers, numbered as the Windows edition's message boxes return them.
inline constexpr int IDOK = 1;
inline constexpr int IDYES = 6;
inline constexpr int IDNO = 7;

struct TMessageRequest
{
    QWidget* owner = nullptr;
    QString text;
    QString caption;
    TMsgIcon icon = TMsgIcon::None;
    bool yesNo = false;
    bool noIsDefault = false;
};

using TMessageHook = std::function<int(const TMessageRequest&)>;
// Routes every message box to `hook` instead of the screen; an empty hook restores the screen.
void SetMessageHook(TMessageHook hook);

// Every box is also handed to `echo` before it is shown, so a start from the command line can write its
// text to standard error for the caller; an empty echo ends that.
using TMessageEcho = std::function<void(const TMessageRequest&)>;
void SetMessageEcho(TMessageEcho echo);

int ShowMessageBox(const TMessageRequest& request);

// Texts of the program's own: UTF-8, or raw bytes of tavix.ini, which may be in a legacy code page.
QString ToQString(const std::string& text);
std::string FromQString(const QString& text);
// The edition's text `id` as the widgets take it.
QString UiText(TTextId id);

// The conventional boxes, each captioned from the message texts.
void ShowError(QWidget* owner, const std::string& text);
void ShowWarning(QWidget* owner, const std::string& text);
void ShowInformation(QWidget* owner, const std::string& text);
bool AskYesNo(QWidget* owner, const std::string& text, bool noIsDefault);
// The plain dialog: the application title as caption, one OK button, no icon.
void ShowPlain(QWidget* owner, const std::string& text);
