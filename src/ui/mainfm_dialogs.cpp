// The main window's dialog commands: adding, changing and removing servers, the settings and the
// about box. The dialogs gather input; the server store decides, and the list follows it.
#include "ui/mainfm.h"

#include "core/localization_u.h"
#include "core/servers_u.h"
#include "monitor/connection_u.h"
#include "ui/ListBoxEx.h"
#include "ui/aboutfm.h"
#include "ui/addfm.h"
#include "ui/localizedialogs_u.h"
#include "ui/msgbox_u.h"
#include "ui/settingsfm.h"

namespace {

constexpr int kMsgNotAdded = 1000;
constexpr int kMsgNotRemoved = 1002;
constexpr int kMsgRemoveQuestion = 1003;
constexpr int kMsgNotChanged = 1005;
constexpr int kTextListNotWritten = 3029;

bool AddServerValues(const TServer& v)
{
    return AddServer(v.Name, v.Address, v.Comments, v.Preloader, v.AltPath, v.Patchlist, v.Website, v.ServerType,
                     v.AutoCacheClear, v.RSSUrl);
}

bool ChangeServerValues(const TServer& v)
{
    return ChangeServer(v.Name, v.Address, v.Comments, v.Preloader, v.AltPath, v.Patchlist, v.Website, v.ServerType,
                        v.AutoCacheClear, v.RSSUrl);
}

} // namespace

void TMainForm::BtnAddClick()
{
    TAddForm dialog(this);
    LocalizeAddForm(dialog, false);
    dialog.FillNew();
    TServer values;
    // The dialog refuses the names it knows the store would; should the store still refuse, the
    // dialog comes back with what was typed rather than losing it.
    for (;;) {
        if (dialog.exec() != QDialog::Accepted)
            return;
        values = dialog.Values();
        if (AddServerValues(values))
            break;
        ShowError(&dialog, Msg(kMsgNotAdded));
    }
    List->AddItem(ToQString(values.Name));
    UpdateList();
    // Selecting the new row shows it in the status line and the panel.
    SelectIndex(List->Count() - 1);
    StartProbe(FindServer(values.Name), settings_.Values().Timeout);
    SaveServersNow();
}

void TMainForm::BtnEditClick()
{
    const int index = SelectedIndex();
    if (index < 0 || index >= static_cast<int>(Servers.size()))
        return;
    TAddForm dialog(this);
    LocalizeAddForm(dialog, true);
    dialog.Fill(Servers[static_cast<std::size_t>(index)]);
    const std::string oldRSSUrl = Servers[static_cast<std::size_t>(index)].RSSUrl;
    if (dialog.exec() != QDialog::Accepted)
        return;
    const TServer values = dialog.Values();
    if (!ChangeServerValues(values)) {
        ShowError(&dialog, Msg(kMsgNotChanged));
        return;
    }
    const int changed = FindServer(values.Name);
    // A new channel is fetched the next time the news are shown; the same one is not fetched again.
    if (changed >= 0 && values.RSSUrl != oldRSSUrl)
        Servers[static_cast<std::size_t>(changed)].RSSState = rssNotLoaded;
    UpdateInfoPanel();
    StartProbe(SelectedIndex(), settings_.Values().Timeout);
    SaveServersNow();
}

void TMainForm::BtnRemoveClick()
{
    const int index = SelectedIndex();
    if (index < 0 || index >= static_cast<int>(Servers.size()))
        return;
    // The store's bytes, not the list's text: a name in a legacy code page must match itself.
    const std::string name = Servers[static_cast<std::size_t>(index)].Name;
    const QString question = ToQString(Msg(kMsgRemoveQuestion)) + u' ' + ToQString(name) + u'?';
    if (!AskYesNo(this, FromQString(question), false))
        return;
    const bool removed = RemoveServer(name);
    if (removed) {
        List->DeleteItem(index);
        UpdateList();
        if (index - 1 < 0)
            SelectIndex(List->Count() > 0 ? 0 : -1);
        else
            SelectIndex(index - 1);
    } else {
        ShowError(this, Msg(kMsgNotRemoved));
    }
    RefreshServerVisibleStatus();
    UpdateInfoPanel();
    if (removed)
        SaveServersNow();
}

void TMainForm::ItemSettingsClick()
{
    TSettingsForm dialog(this);
    LocalizeSettingsForm(dialog);
    dialog.Fill(settings_.Values());
    if (dialog.exec() != QDialog::Accepted)
        return;
    settings_.Apply(dialog.Values());
}

void TMainForm::ItemAboutClick()
{
    TAboutForm dialog(this);
    LocalizeAboutForm(dialog);
    dialog.exec();
}

bool TMainForm::SaveServersNow()
{
    if (SaveServers())
        return true;
    if (!saveFailureShown_) {
        saveFailureShown_ = true;
        ShowWarning(this, LoadText(kTextListNotWritten));
    }
    return false;
}
