#include "ui/localizemain.h"

#include "core/localization_u.h"
#include "ui/ImgBtn.h"
#include "ui/listkeys.h"
#include "ui/msgbox.h"
#include "ui/skin.h"

#include <QAction>
#include <QKeySequence>
#include <QLabel>
#include <QMenu>
#include <QWidget>

namespace {

struct TCaption
{
    const char* control;
    TTextId textId;
};

constexpr TCaption kHints[] = {
    {"BtnMinimize", TTextId::HintMinimize},
    {"BtnClose", TTextId::HintClose},
    {"BtnRefreshAll", TTextId::HintRefreshAll},
    {"BtnDown", TTextId::HintMoveDown},
    {"BtnUp", TTextId::HintMoveUp},
    {"BtnMenu", TTextId::HintMenu},
    {"BtnPlay", TTextId::HintPlay},
    {"BtnAdd", TTextId::HintAdd},
    {"BtnRemove", TTextId::HintRemove},
    {"BtnEdit", TTextId::HintEdit},
};

constexpr TCaption kMenuItems[] = {
    {"ItemSettings", TTextId::MenuSettings},
    {"ItemInfoPanel", TTextId::MenuInfoPanel},
    {"ItemClearWDB", TTextId::MenuClearWDB},
    {"ItemClearWTF", TTextId::MenuClearWTF},
    {"ItemClearScreenshots", TTextId::MenuClearScreenshots},
    {"ItemUpdate", TTextId::MenuUpdate},
    {"ItemAbout", TTextId::MenuAbout},
    {"ItemAddServer", TTextId::MenuAddServer},
    {"ItemClose", TTextId::MenuClose},
};

// What a screen reader calls each control: a short name; the tooltip, keys and all, is its description.
constexpr TCaption kAccessibleNames[] = {
    {"BtnMinimize", TTextId::HintMinimize},
    {"BtnClose", TTextId::HintClose},
    {"BtnRefreshAll", TTextId::NameRefreshAll},
    {"BtnDown", TTextId::HintMoveDown},
    {"BtnUp", TTextId::HintMoveUp},
    {"BtnMenu", TTextId::NameMenu},
    {"BtnPlay", TTextId::NamePlay},
    {"BtnAdd", TTextId::NameAdd},
    {"BtnRemove", TTextId::NameRemove},
    {"BtnEdit", TTextId::NameEdit},
    {"btnInfoPanel", TTextId::MenuInfoPanel},
    {"InfoBtn0", TTextId::NameNewsTab},
    {"InfoBtn1", TTextId::NameServerTab},
    {"InfoBtn2", TTextId::NameMoreTab},
    {"BtnPrev", TTextId::HintNewerNews},
    {"BtnNext", TTextId::HintOlderNews},
    {"List", TTextId::NameServerList},
};
constexpr TCaption kFoldersMenu = {"ItemFoldersClearing", TTextId::MenuFoldersClearing};

constexpr TCaption kPanelLabels[] = {
    {"LabServerAddress", TTextId::PanelServerAddress},   {"LabRealmlist", TTextId::PanelRealmlist},
    {"LabPatchlist", TTextId::PanelPatchlist},           {"LabWoWVersion", TTextId::PanelGameVersion},
    {"LabPreloaderCD", TTextId::PanelPreloader},         {"LabAlternativeWoWPath", TTextId::PanelAltPath},
    {"LabServerSite", TTextId::PanelServerSite},         {"LabServerType", TTextId::PanelServerType},
    {"LabAdditionalInfo", TTextId::PanelAdditionalInfo},
};
constexpr TCaption kInfoPanelHint = {"btnInfoPanel", TTextId::HintInfoPanel};
constexpr TCaption kAutoCacheClearLabel = {"LabAutoCacheClear", TTextId::PanelAutoCacheClear};
constexpr TCaption kNextHint = {"BtnNext", TTextId::HintOlderNews};
constexpr TCaption kPrevHint = {"BtnPrev", TTextId::HintNewerNews};
constexpr TCaption kRSSChannelLabel = {"LabRSSChannel", TTextId::PanelRSSChannel};
// Line feed, then carriage return: the hint shows the key on a line of its own.
constexpr const char* kKeyLineSeparator = "\n\rAlt + ";

constexpr const char* kCzechCode = "cz";
constexpr const char* kPlayPicture = "Play";
constexpr const char* kPlayPictureCzech = "Play_cz";
constexpr const char* kHoverSuffix = "_hover";

template <typename T> T* Find(QWidget* form, const char* name)
{
    return form->findChild<T*>(QString::fromLatin1(name));
}

void SetHint(QWidget* form, const TCaption& caption, const QString& text)
{
    if (auto* control = Find<QWidget>(form, caption.control))
        control->setToolTip(text);
}

// The hint of a button with a line naming every key of its command, as the menu shows them.
void AddKeysToHint(QWidget* form, const TButtonCommand& button)
{
    auto* control = Find<QWidget>(form, button.button);
    const QList<QKeyCombination> keys = WindowKeysOf(button.command);
    if (!control || keys.isEmpty())
        return;
    QStringList names;
    for (const QKeyCombination key : keys)
        names.append(QKeySequence(key).toString(QKeySequence::NativeText));
    const std::string joined = names.join(QStringLiteral(", ")).toStdString();
    control->setToolTip(control->toolTip() + QLatin1Char('\n') + ToQString(FillText(TTextId::KeysHint, {joined})));
}

void SetLabel(QWidget* form, const TCaption& caption)
{
    if (auto* label = Find<QLabel>(form, caption.control))
        label->setText(UiText(caption.textId));
}

void LoadPlayPictures(QWidget* form)
{
    auto* play = Find<TImgBtn>(form, "BtnPlay");
    if (!play)
        return;
    // The pictures carry the edition's word for Play, so they come with the edition's texts.
    const QString name = QString::fromLatin1(LanguageCode == kCzechCode ? kPlayPictureCzech : kPlayPicture);
    const QPixmap picture = SkinPixmap(name, play);
    play->SetPic(picture);
    play->SetPicture(picture);
    play->SetPicDown(picture);
    play->SetPicUp(SkinPixmap(name + QLatin1String(kHoverSuffix), play));
}

} // namespace

void LocalizeMainForm(QWidget* form)
{
    LoadPlayPictures(form);
    for (const TCaption& hint : kHints)
        SetHint(form, hint, UiText(hint.textId));
    for (const TCaption& item : kMenuItems)
        if (auto* action = Find<QAction>(form, item.control))
            action->setText(UiText(item.textId));
    if (auto* folders = Find<QMenu>(form, kFoldersMenu.control))
        folders->setTitle(UiText(kFoldersMenu.textId));
    for (const TCaption& label : kPanelLabels)
        SetLabel(form, label);
    SetHint(form, kInfoPanelHint, UiText(kInfoPanelHint.textId));
    SetLabel(form, kAutoCacheClearLabel);
    SetHint(form, kNextHint,
            UiText(kNextHint.textId) + QLatin1String(kKeyLineSeparator) +
                QString::fromStdString(Msg(TTextId::RightArrow)));
    SetHint(form, kPrevHint,
            UiText(kPrevHint.textId) + QLatin1String(kKeyLineSeparator) +
                QString::fromStdString(Msg(TTextId::LeftArrow)));
    SetLabel(form, kRSSChannelLabel);
    for (const TButtonCommand& button : kButtonCommands)
        AddKeysToHint(form, button);
    for (const TCaption& name : kAccessibleNames)
        if (auto* control = Find<QWidget>(form, name.control))
            control->setAccessibleName(UiText(name.textId));
}
