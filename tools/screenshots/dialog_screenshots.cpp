// The dialogs in their typical states, rendered for a look at them beside the main window's pictures.
#include "tools/screenshots/dialog_screenshots.h"

#include "core/settings.h"
#include "ui/aboutfm.h"
#include "ui/addfm.h"
#include "ui/localizedialogs.h"
#include "ui/settingsfm.h"

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QTabWidget>
#include <cstdio>

namespace {

bool Save(QWidget& dialog, const QString& out, const QString& edition, const char* name)
{
    dialog.show();
    QApplication::processEvents();
    const QString path = QStringLiteral("%1/dialog_%2_%3.png").arg(out, QString::fromLatin1(name), edition);
    const bool saved = dialog.grab().save(path);
    if (saved)
        std::printf("%s\n", qPrintable(path));
    else
        std::fprintf(stderr, "could not write %s\n", qPrintable(path));
    dialog.hide();
    return saved;
}

TServer SampleServer()
{
    TServer s;
    s.Name = "Frostmourne [EU] PvP";
    s.Address = "logon.frostmourne.example:3724";
    s.Comments = "Blizzlike rates, x1";
    s.Preloader = "/home/player/Games/WoW/Launcher.exe";
    s.AltPath = "/home/player/Games/WoW 3.3.5/Wow.exe";
    s.Patchlist = "patch.frostmourne.example";
    s.Website = "frostmourne.example";
    s.ServerType = 3;
    s.AutoCacheClear = true;
    s.RSSUrl = "https://frostmourne.example/news.rss";
    return s;
}

} // namespace

bool RenderDialogs(const QString& out, const QString& edition)
{
    bool ok = true;
    {
        TAddForm add;
        LocalizeAddForm(add, false);
        add.FillNew();
        ok &= Save(add, out, edition, "add_new");
        add.EditServerName->setText(" Main");
        add.EditServerAddress->setText("logon.example");
        ok &= Save(add, out, edition, "add_refused_name");
    }
    {
        TAddForm edit;
        LocalizeAddForm(edit, true);
        edit.Fill(SampleServer());
        ok &= Save(edit, out, edition, "edit_basic");
        edit.show();
        edit.PageControl->setCurrentIndex(1);
        ok &= Save(edit, out, edition, "edit_additional");
    }
    {
        TSettingsForm settings;
        LocalizeSettingsForm(settings);
        settings.Fill({.WoWPath = "/home/player/Games/WoW/WoW.exe",
                       .MenuAutoPopup = false,
                       .ProgramToRunOnWoWLaunch = "/usr/bin/mumble",
                       .OneInstanceOnly = true,
                       .CheckUpdates = 0});
        ok &= Save(settings, out, edition, "settings");
    }
    {
        TAboutForm about;
        LocalizeAboutForm(about);
        ok &= Save(about, out, edition, "about");
    }
    return ok;
}
