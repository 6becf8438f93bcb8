#include "ui/localizemain.h"

#include "core/localization_u.h"
#include "ui/ImgBtn.h"
#include "ui/skin.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QWidget>

namespace {

struct TCaption
{
    const char* control;
    int textId;
};

constexpr TCaption kHints[] = {
    {"BtnMinimize", 2000}, {"BtnClose", 2001}, {"BtnRefreshAll", 2002}, {"BtnDown", 2003},   {"BtnUp", 2004},
    {"BtnMenu", 2005},     {"BtnPlay", 2006},  {"BtnAdd", 2007},        {"BtnRemove", 2008}, {"BtnEdit", 2009},
};

constexpr TCaption kMenuItems[] = {
    {"ItemSettings", 2010},         {"ItemInfoPanel", 2011}, {"ItemClearWDB", 2013}, {"ItemClearWTF", 2014},
    {"ItemClearScreenshots", 2015}, {"ItemUpdate", 2021},    {"ItemAbout", 2016},
};
constexpr TCaption kFoldersMenu = {"ItemFoldersClearing", 2012};

constexpr TCaption kPanelLabels[] = {
    {"LabServerAddress", 2017}, {"LabRealmlist", 2022},   {"LabPatchlist", 2023},
    {"LabWoWVersion", 2024},    {"LabPreloaderCD", 2018}, {"LabAlternativeWoWPath", 2019},
    {"LabServerSite", 2025},    {"LabServerType", 2026},  {"LabAdditionalInfo", 2020},
};
constexpr TCaption kInfoPanelHint = {"btnInfoPanel", 2027};
constexpr TCaption kAutoCacheClearLabel = {"LabAutoCacheClear", 2028};
constexpr TCaption kNextHint = {"BtnNext", 2029};
constexpr TCaption kPrevHint = {"BtnPrev", 2030};
constexpr TCaption kRSSChannelLabel = {"LabRSSChannel", 2031};
// "Right arrow" and "Left arrow" as the messages name them.
constexpr int kMsgRightArrow = 1048;
constexpr int kMsgLeftArrow = 1047;
// Line feed, then carriage return: the hint shows the key on a line of its own.
constexpr const char* kKeyLineSeparator = "\n\rAlt + ";

constexpr const char* kCzechCode = "cz";
constexpr const char* kPlayPicture = "Play";
constexpr const char* kPlayPictureCzech = "Play_cz";
constexpr const char* kHoverSuffix = "_hover";

QString Text(int id)
{
    return QString::fromStdString(LoadText(id));
}

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
        label->setText(Text(caption.textId));
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
        SetHint(form, hint, Text(hint.textId));
    for (const TCaption& item : kMenuItems)
        if (auto* action = Find<QAction>(form, item.control))
            action->setText(Text(item.textId));
    if (auto* folders = Find<QMenu>(form, kFoldersMenu.control))
        folders->setTitle(Text(kFoldersMenu.textId));
    for (const TCaption& label : kPanelLabels)
        SetLabel(form, label);
    SetHint(form, kInfoPanelHint, Text(kInfoPanelHint.textId));
    SetLabel(form, kAutoCacheClearLabel);
    SetHint(form, kNextHint,
            Text(kNextHint.textId) + QLatin1String(kKeyLineSeparator) + QString::fromStdString(Msg(kMsgRightArrow)));
    SetHint(form, kPrevHint,
            Text(kPrevHint.textId) + QLatin1String(kKeyLineSeparator) + QString::fromStdString(Msg(kMsgLeftArrow)));
    SetLabel(form, kRSSChannelLabel);
}
