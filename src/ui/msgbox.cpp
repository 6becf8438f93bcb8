#include "ui/msgbox.h"

#include "core/globaltypes_u.h"
#include "core/localization_u.h"
#include "core/textcodec.h"

#include <QMessageBox>

namespace {

TMessageHook& Hook()
{
    static TMessageHook hook;
    return hook;
}

TMessageEcho& Echo()
{
    static TMessageEcho echo;
    return echo;
}

QMessageBox::Icon ToQtIcon(TMsgIcon icon)
{
    switch (icon) {
    case TMsgIcon::Error:
        return QMessageBox::Critical;
    case TMsgIcon::Warning:
        return QMessageBox::Warning;
    case TMsgIcon::Information:
        return QMessageBox::Information;
    case TMsgIcon::Question:
        return QMessageBox::Question;
    case TMsgIcon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

int Show(QWidget* owner, const std::string& text, TTextId captionId, TMsgIcon icon, bool yesNo = false,
         bool noIsDefault = false)
{
    return ShowMessageBox({owner, ToQString(text), ToQString(Msg(captionId)), icon, yesNo, noIsDefault});
}

} // namespace

void SetMessageHook(TMessageHook hook)
{
    Hook() = std::move(hook);
}

void SetMessageEcho(TMessageEcho echo)
{
    Echo() = std::move(echo);
}

int ShowMessageBox(const TMessageRequest& request)
{
    if (Echo())
        Echo()(request);
    if (Hook())
        return Hook()(request);
    QMessageBox box(ToQtIcon(request.icon), request.caption, request.text, QMessageBox::NoButton, request.owner);
    if (request.yesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(request.noIsDefault ? QMessageBox::No : QMessageBox::Yes);
        return box.exec() == QMessageBox::Yes ? IDYES : IDNO;
    }
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
    return IDOK;
}

QString ToQString(const std::string& text)
{
    return QString::fromStdString(DisplayText(text));
}

QString UiText(TTextId id)
{
    return QString::fromStdString(LoadText(id));
}

std::string FromQString(const QString& text)
{
    return text.toStdString();
}

void ShowError(QWidget* owner, const std::string& text)
{
    Show(owner, text, TTextId::CaptionError, TMsgIcon::Error);
}

void ShowWarning(QWidget* owner, const std::string& text)
{
    Show(owner, text, TTextId::CaptionWarning, TMsgIcon::Warning);
}

void ShowInformation(QWidget* owner, const std::string& text)
{
    Show(owner, text, TTextId::CaptionInformation, TMsgIcon::Information);
}

bool AskYesNo(QWidget* owner, const std::string& text, bool noIsDefault)
{
    return Show(owner, text, TTextId::CaptionQuestion, TMsgIcon::Question, true, noIsDefault) == IDYES;
}

void ShowPlain(QWidget* owner, const std::string& text)
{
    ShowMessageBox({owner, ToQString(text), QString::fromUtf8(kApplicationTitle), TMsgIcon::None, false, false});
}
