// Renders every dialog of the edition this build is, in its typical states, to PNG files, so the
// layouts can be looked at without a desktop: QT_QPA_PLATFORM=offscreen dialogshots OUT_DIR
#include "buildconfig.h"
#include "core/globaltypes_u.h"
#include "core/localization_u.h"
#include "core/settings_u.h"
#include "ui/aboutfm.h"
#include "ui/addfm.h"
#include "ui/localizedialogs_u.h"
#include "ui/settingsfm.h"

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QTabWidget>
#include <QTextStream>

namespace {

bool Save(QWidget& dialog, const QDir& out, const QString& name)
{
    dialog.show();
    QApplication::processEvents();
    const QString path = out.filePath(QStringLiteral("%1-%2.png").arg(name, QString::fromLatin1(KORVAN_LANGUAGE_CODE)));
    const bool saved = dialog.grab().save(path);
    QTextStream(stdout) << path << (saved ? "" : " (not written)") << '\n';
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

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    InitLocalization();
    const QDir out(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("."));
    bool ok = true;

    {
        TAddForm add;
        LocalizeAddForm(add, false);
        add.FillNew();
        ok &= Save(add, out, "add-new");
        add.EditServerName->setText(" Main");
        add.EditServerAddress->setText("logon.example");
        ok &= Save(add, out, "add-refused-name");
    }
    {
        TAddForm edit;
        LocalizeAddForm(edit, true);
        edit.Fill(SampleServer());
        ok &= Save(edit, out, "edit-basic");
        edit.show();
        edit.PageControl->setCurrentIndex(1);
        ok &= Save(edit, out, "edit-additional");
    }
    {
        WoWPath = "/home/player/Games/WoW/WoW.exe";
        ProgramToRunOnWoWLaunch = "/usr/bin/mumble";
        OneInstanceOnly = true;
        TSettingsForm settings;
        LocalizeSettingsForm(settings);
        settings.Fill();
        ok &= Save(settings, out, "settings");
    }
    {
        TAboutForm about;
        LocalizeAboutForm(about);
        ok &= Save(about, out, "about");
    }
    return ok ? 0 : 1;
}
