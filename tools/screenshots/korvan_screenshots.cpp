// Renders the main window in its typical states to PNG files, without a display: run it with
// QT_QPA_PLATFORM=offscreen (it sets that itself when nothing else is chosen). Each picture shows the
// window on a plain desktop colour, so its cut-out shape can be judged.
#include "core/globaltypes_u.h"
#include "core/localization_u.h"
#include "core/servers_u.h"
#include "core/settings.h"
#include "monitor/probeservice.h"
#include "news/newsservice.h"
#include "tools/screenshots/dialog_screenshots.h"
#include "ui/ListBoxEx.h"
#include "ui/mainfm.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QMenu>
#include <QPainter>
#include <QTemporaryDir>
#include <cstdio>
#include <functional>
#include <string>

namespace {

constexpr int kMargin = 16;
const QColor kDesktop(0x3E, 0x5C, 0x76);
constexpr int kMenuExtraHeight = 160;

const char* const kNames[] = {"Ironvale Classic",   "Frosthollow Crown (very long name of a realm)",
                              "Emberfall",          "Stonewatch PvP",
                              "Duskmere",           "Gildenmoor Eternal",
                              "Ravenholt Skyreach", "Amberlight Commons",
                              "Thornkeep Vale"};

std::string ServerName(int index)
{
    const int count = static_cast<int>(std::size(kNames));
    return index < count ? kNames[index] : "Realm " + std::to_string(index + 1);
}

void WriteServers(const QString& folder, int count)
{
    QFile file(folder + "/tavix.ini");
    file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    file.write("[Main]\r\nServerIndex=0\r\n");
    for (int i = 0; i < count; ++i)
        file.write(QStringLiteral("[%1]\r\nAddress=127.0.0.1:%2\r\n")
                       .arg(QString::fromStdString(ServerName(i)))
                       .arg(i + 1)
                       .toUtf8());
    file.close();
}

void SetStates()
{
    // A plausible mix: most online, some offline, one still being checked.
    for (std::size_t i = 0; i < Servers.size(); ++i) {
        Servers[i].Status = i % 4 == 1 ? ssOffline : (i % 7 == 3 ? ssChecking : ssOnline);
        Servers[i].Ping = Servers[i].Status == ssOnline ? static_cast<int>(40 + 17 * i % 180) : -1;
    }
}

QImage OnDesktop(TMainForm& form, bool withMenu)
{
    // Sizes in the window's own units; the picture keeps the screen's pixel density (QT_SCALE_FACTOR=2).
    const QImage window = form.grab().toImage();
    const qreal ratio = window.devicePixelRatio();
    QSize size = window.deviceIndependentSize().toSize() + QSize(2 * kMargin, 2 * kMargin);
    QMenu* menu = form.Frame()->Menu();
    QImage menuPicture;
    QPoint menuAt;
    if (withMenu && menu->isVisible()) {
        menuPicture = menu->grab().toImage();
        menuAt = menu->pos() - form.pos() + QPoint(kMargin, kMargin);
        const QSize menuSize = menuPicture.deviceIndependentSize().toSize();
        size =
            size.expandedTo(QSize(menuAt.x() + menuSize.width() + kMargin, menuAt.y() + menuSize.height() + kMargin));
    }
    QImage picture(size * ratio, QImage::Format_ARGB32);
    picture.setDevicePixelRatio(ratio);
    picture.fill(kDesktop);
    QPainter painter(&picture);
    painter.drawImage(QPoint(kMargin, kMargin), window);
    if (!menuPicture.isNull())
        painter.drawImage(menuAt, menuPicture);
    return picture;
}

struct TShot
{
    const char* file;
    int servers;
    std::function<void(TMainForm&)> prepare;
    bool menu = false;
};

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    Q_INIT_RESOURCE(korvan);
    InitLocalization();
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("screenshots");
    QDir().mkpath(out);
    const QString edition = QString::fromStdString(LanguageCode);

    const TShot shots[] = {
        {"empty", 0, [](TMainForm&) {}},
        {"seven", 7, [](TMainForm& f) { f.SelectIndex(-1); }},
        {"eight", 8, [](TMainForm& f) { f.SelectIndex(-1); }},
        {"many", 800,
         [](TMainForm& f) {
             f.ServerList()->SetTopIndex(400);
             f.SelectIndex(402);
         }},
        {"selected_online", 8, [](TMainForm& f) { f.SelectIndex(2); }},
        {"selected_offline", 7, [](TMainForm& f) { f.SelectIndex(1); }},
        {"menu", 7,
         [](TMainForm& f) {
             f.SelectIndex(0);
             f.BtnMenuClick();
         },
         true},
        {"focus_play", 7,
         [](TMainForm& f) {
             f.SelectIndex(0);
             if (auto* button = f.findChild<QWidget*>("BtnPlay"))
                 button->setFocus(Qt::TabFocusReason);
         }},
        {"focus_round", 7,
         [](TMainForm& f) {
             f.SelectIndex(0);
             if (auto* button = f.findChild<QWidget*>("btnInfoPanel"))
                 button->setFocus(Qt::TabFocusReason);
         }},
        {"focus_close", 7,
         [](TMainForm& f) {
             f.SelectIndex(0);
             if (auto* button = f.findChild<QWidget*>("BtnClose"))
                 button->setFocus(Qt::TabFocusReason);
         }},
        {"info_panel", 7,
         [](TMainForm& f) {
             f.SelectIndex(0);
             if (!f.InfoPanelVisible())
                 f.ItemInfoPanelClick();
             f.SelectInfoPanel(1);
             f.UpdateInfoPanel();
         }},
        {"info_panel_news", 7,
         [](TMainForm& f) {
             Servers[0].RSSState = rssLoaded;
             Servers[0].RSSData = {
                 "<html><body><a href=\"http://example.org/1\"><b>Realm restart at 6:00</b></a><br />"
                 "Maintenance ends at 8:00. New instances open next week, and the arena season starts on Friday."
                 "</body></html>",
                 "<b>Older news</b>"};
             f.SelectIndex(0);
             if (!f.InfoPanelVisible())
                 f.ItemInfoPanelClick();
             f.SelectInfoPanel(0);
             f.UpdateInfoPanel();
         }},
        {"info_panel_news_long", 7,
         [](TMainForm& f) {
             // Longer than the view: its scroll bar shows, and the view ends somewhere inside the text.
             Servers[0].RSSState = rssLoaded;
             Servers[0].RSSData = {
                 "<html><body><a href=\"http://example.org/1\"><b>Realm restart at 6:00 with a title long enough to "
                 "wrap</b></a><br />"
                 "Maintenance ends at 8:00. New instances open next week, and the arena season starts on Friday. "
                 "Characters keep their items; mail sent during the restart arrives when it ends. See the forum for "
                 "the list of changes.</body></html>"};
             f.SelectIndex(0);
             if (!f.InfoPanelVisible())
                 f.ItemInfoPanelClick();
             f.SelectInfoPanel(0);
             f.UpdateInfoPanel();
         }},
    };
    for (const TShot& shot : shots) {
        QTemporaryDir dir;
        WriteServers(dir.path(), shot.servers);
        IniPath = (dir.path() + "/tavix.ini").toStdString();
        Servers.clear();
        // No probes: the states are set by hand.
        FirstShow = false;
        FirstIdle = false;
        AppClosing = false;
        {
            TSettings settings;
            TProbeService probes([&settings] { return settings.Values().Timeout; });
            TNewsService news;
            TMainForm form(settings, probes, news);
            SetStates();
            form.move(100, 100);
            form.show();
            shot.prepare(form);
            form.RefreshServerVisibleStatus();
            form.ServerRowsChanged();
            QCoreApplication::processEvents();
            const QString path = QStringLiteral("%1/main_%2_%3.png").arg(out, QString::fromLatin1(shot.file), edition);
            if (!OnDesktop(form, shot.menu).save(path)) {
                std::fprintf(stderr, "could not write %s\n", qPrintable(path));
                return 1;
            }
            std::printf("%s\n", qPrintable(path));
            form.Frame()->Menu()->hide();
            form.hide();
        }
    }
    return RenderDialogs(out, edition) ? 0 : 1;
}
