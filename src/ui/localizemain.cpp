#include "ui/localizemain.h"

#include "core/localization_u.h"
#include "ui/ImgBtn.h"
#include "ui/msgbox.h"
#include "ui/skin.h"

#include <QAction>
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
}
