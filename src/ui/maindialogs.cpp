#include "ui/maindialogs.h"

#include "core/localization_u.h"
#include "core/servers_u.h"
#include "core/settings_u.h"
#include "ui/aboutfm.h"
#include "ui/addfm.h"
#include "ui/localizedialogs_u.h"
#include "ui/msgbox_u.h"
#include "ui/settingsfm.h"

namespace {

constexpr std::uint64_t kNoServer = 0;

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

// The index of the live entry of that identity, -1 for none.
int LiveIndexOf(std::uint64_t id)
{
    const int index = id == kNoServer ? -1 : IndexOfServerId(id);
    return index >= 0 && !Servers[static_cast<std::size_t>(index)].Deleted ? index : -1;
}

} // namespace

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
        if (AddServerValues(values))
            break;
        ShowError(&dialog, Msg(TTextId::ServerNotAdded));
    }
    if (const int added = FindServer(values.Name); added >= 0)
        emit serverAdded(Servers[static_cast<std::size_t>(added)].Id);
    SaveServersNow();
}

void TMainDialogs::Edit(std::uint64_t serverId)
{
    const int index = LiveIndexOf(serverId);
    if (index < 0)
        return;
    TAddForm dialog(window_);
    LocalizeAddForm(dialog, true);
    dialog.Fill(Servers[static_cast<std::size_t>(index)]);
    const std::string oldRSSUrl = Servers[static_cast<std::size_t>(index)].RSSUrl;
    if (dialog.exec() != QDialog::Accepted)
        return;
    const TServer values = dialog.Values();
    if (!ChangeServerValues(values)) {
        ShowError(&dialog, Msg(TTextId::ServerNotChanged));
        return;
    }
    // A new channel is fetched the next time the news are shown; the same one is not fetched again.
    if (const int changed = LiveIndexOf(serverId); changed >= 0 && values.RSSUrl != oldRSSUrl)
        Servers[static_cast<std::size_t>(changed)].RSSState = rssNotLoaded;
    emit serverChanged(serverId);
    SaveServersNow();
}

void TMainDialogs::Remove(std::uint64_t serverId)
{
    const int index = LiveIndexOf(serverId);
    if (index < 0)
        return;
    // The store's bytes, not the list's text: a name in a legacy code page must match itself.
    const std::string name = Servers[static_cast<std::size_t>(index)].Name;
    const QString question = ToQString(Msg(TTextId::RemoveServerQuestion)) + u' ' + ToQString(name) + u'?';
    if (!AskYesNo(window_, FromQString(question), false))
        return;
    if (!RemoveServer(name)) {
        ShowError(window_, Msg(TTextId::ServerNotRemoved));
        return;
    }
    // Live entries come first, in list order: its index was its row.
    emit serverRemoved(index);
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
