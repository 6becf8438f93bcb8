#include "ui/maindialogs.h"

#include "core/localization_u.h"
#include "core/servers_u.h"
#include "core/settings.h"
#include "ui/aboutfm.h"
#include "ui/addfm.h"
#include "ui/localizedialogs.h"
#include "ui/msgbox.h"
#include "ui/settingsfm.h"

TMainDialogs::TMainDialogs(QWidget* window, TSettings& settings) : QObject(window), window_(window), settings_(settings)
{
}

void TMainDialogs::Add()
{
    TAddForm dialog(window_);
    LocalizeAddForm(dialog, false);
    dialog.FillNew();
    TServer values;
    // The dialog refuses the names it knows the store would; should the store still refuse, the
    // dialog comes back with what was typed rather than losing it.
    for (;;) {
        if (dialog.exec() != QDialog::Accepted)
            return;
        values = dialog.Values();
        if (AddServer(values))
            break;
        ShowError(&dialog, Msg(TTextId::ServerNotAdded));
    }
    if (const TServer* added = ServerAt(FindServer(values.Name)))
        emit serverAdded(added->Id);
    SaveServersNow();
}

void TMainDialogs::Edit(std::uint64_t serverId, TAddFormPage page)
{
    const TServer* entry = LiveServerById(serverId);
    if (!entry)
        return;
    TAddForm dialog(window_);
    LocalizeAddForm(dialog, true);
    dialog.Fill(*entry);
    dialog.SetStartPage(page);
    const std::string oldRSSUrl = entry->RSSUrl;
    if (dialog.exec() != QDialog::Accepted)
        return;
    const TServer values = dialog.Values();
    if (!ChangeServer(values)) {
        ShowError(&dialog, Msg(TTextId::ServerNotChanged));
        return;
    }
    // A new channel is fetched the next time the news are shown; the same one is not fetched again.
    if (TServer* changed = LiveServerById(serverId); changed && values.RSSUrl != oldRSSUrl)
        changed->RSSState = rssNotLoaded;
    emit serverChanged(serverId);
    SaveServersNow();
}

void TMainDialogs::Remove(std::uint64_t serverId)
{
    const TServer* entry = LiveServerById(serverId);
    if (!entry)
        return;
    // Live entries come first, in list order: its index is its row.
    const int row = IndexOfServerId(serverId);
    // The store's bytes, not the list's text: a name in a legacy code page must match itself.
    const std::string name = entry->Name;
    const QString question = ToQString(Msg(TTextId::RemoveServerQuestion)) + u' ' + ToQString(name) + u'?';
    if (!AskYesNo(window_, FromQString(question), false))
        return;
    if (!RemoveServer(name)) {
        ShowError(window_, Msg(TTextId::ServerNotRemoved));
        return;
    }
    emit serverRemoved(row);
    SaveServersNow();
}

void TMainDialogs::EditSettings()
{
    TSettingsForm dialog(window_);
    LocalizeSettingsForm(dialog);
    dialog.Fill(settings_.Values());
    if (dialog.exec() != QDialog::Accepted)
        return;
    settings_.Apply(dialog.Values());
}

void TMainDialogs::ShowAbout()
{
    TAboutForm dialog(window_);
    LocalizeAboutForm(dialog);
    dialog.exec();
}

bool TMainDialogs::SaveServersNow()
{
    if (SaveServers())
        return true;
    if (!saveFailureShown_) {
        saveFailureShown_ = true;
        ShowWarning(window_, LoadText(TTextId::ListNotWritten));
    }
    return false;
}
