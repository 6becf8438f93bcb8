// Two figures for the main window with 1,000 servers:
//  1. painting the server list and its scroll bar (what every scroll or probe batch costs);
//  2. process start to the first painted main window, next to a bare Qt Widgets program that shows a
//     plain QListWidget of 1,000 items. Each start is a fresh process (this program run again in a
//     mode of its own); the clock starts at the process's start time as the kernel records it and stops
//     once the first paint of the window has been flushed.
// Run it under xvfb-run for figures of a real X server, or as it is for the offscreen platform.
#include "core/globaltypes_u.h"
#include "core/localization_u.h"
#include "core/servers_u.h"
#include "core/settings.h"
#include "monitor/probeservice.h"
#include "news/newsservice.h"
#include "ui/ListBoxEx.h"
#include "ui/mainfm.h"
#include "ui/serverlist.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QListWidget>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kServerCount = 1000;
constexpr int kManyServers = 100000;
constexpr int kPaintRounds = 500;
constexpr int kStartRounds = 11;
constexpr const char* kModeKorvan = "--start-korvan";
constexpr const char* kModeBare = "--start-bare";

// Milliseconds since this process was started, from /proc/self/stat and the boot-time clock.
double SinceProcessStart()
{
    std::ifstream stat("/proc/self/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    // Field 22 (start time in clock ticks) counts from after the command name's closing parenthesis.
    std::istringstream rest(text.substr(text.rfind(')') + 2));
    std::string field;
    for (int i = 3; i <= 22; ++i)
        rest >> field;
    const double startSeconds = std::stod(field) / static_cast<double>(sysconf(_SC_CLK_TCK));
    timespec now{};
    clock_gettime(CLOCK_BOOTTIME, &now);
    return (now.tv_sec + now.tv_nsec / 1e9 - startSeconds) * 1000.0;
}

void WriteServers(const QString& path, int count = kServerCount)
{
    QFile file(path);
    file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    file.write("[Main]\r\nServerIndex=500\r\n");
    for (int i = 0; i < count; ++i)
        file.write(QStringLiteral("[Server number %1]\r\nAddress=127.0.0.1:%2\r\n").arg(i).arg(1 + i % 60000).toUtf8());
}

// Prints the time once the window's first paint has gone to the screen, then ends the process.
void ReportFirstPaint(QWidget* window)
{
    struct TFilter : QObject
    {
        bool seen = false;
        bool eventFilter(QObject*, QEvent* event) override
        {
            if (event->type() == QEvent::Paint && !seen) {
                seen = true;
                // A zero timer fires after the paint and its flush are done.
                QTimer::singleShot(0, [] {
                    std::printf("%.1f\n", SinceProcessStart());
                    std::fflush(stdout);
                    _exit(0);
                });
            }
            return false;
        }
    };
    window->installEventFilter(new TFilter);
}

int StartKorvan(int argc, char** argv, const QString& ini)
{
    QApplication app(argc, argv);
    InitLocalization();
    IniPath = ini.toStdString();
    TSettings settings;
    TProbeService probes([&settings] { return settings.Values().Timeout; });
    TNewsService news;
    auto* form = new TMainForm(settings, probes, news);
    ReportFirstPaint(form);
    form->show();
    return app.exec();
}

int StartBare(int argc, char** argv)
{
    QApplication app(argc, argv);
    auto* list = new QListWidget;
    for (int i = 0; i < kServerCount; ++i)
        list->addItem(QStringLiteral("Server number %1").arg(i));
    list->resize(261, 268);
    ReportFirstPaint(list);
    list->show();
    return app.exec();
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

double PaintFigure(const QString& ini)
{
    IniPath = ini.toStdString();
    TSettings settings;
    TProbeService probes([&settings] { return settings.Values().Timeout; });
    TNewsService news;
    TMainForm form(settings, probes, news);
    form.show();
    QWidget* list = form.findChild<QWidget*>("ListPanel");
    QWidget* bar = form.findChild<QWidget*>("ScrollBarPanel");
    QImage target(form.size(), QImage::Format_ARGB32_Premultiplied);
    QElapsedTimer clock;
    std::vector<double> rounds;
    for (int i = 0; i < kPaintRounds; ++i) {
        // A different top row each time, as scrolling does.
        form.ServerList()->SetTopIndex(i * 7919 % std::max(1, form.ServerList()->Count() - 7));
        clock.start();
        QPainter painter(&target);
        list->render(&painter, list->pos());
        bar->render(&painter, bar->pos());
        painter.end();
        rounds.push_back(clock.nsecsElapsed() / 1e6);
    }
    form.hide();
    return Median(rounds);
}

std::vector<double> Starts(const QString& mode, const QString& ini)
{
    std::vector<double> figures;
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), {mode, ini});
    child.waitForFinished(60000);
    bool ok = false;
    const double ms = QString::fromLatin1(child.readAllStandardOutput()).trimmed().toDouble(&ok);
    if (ok)
        figures.push_back(ms);
    return figures;
}

} // namespace

int main(int argc, char** argv)
{
    Q_INIT_RESOURCE(korvan);
    if (argc > 2 && qstrcmp(argv[1], kModeKorvan) == 0)
        return StartKorvan(argc, argv, QString::fromLocal8Bit(argv[2]));
    if (argc > 1 && qstrcmp(argv[1], kModeBare) == 0)
        return StartBare(argc, argv);

    QApplication app(argc, argv);
    InitLocalization();
    QTemporaryDir dir;
    const QString ini = dir.path() + QStringLiteral("/tavix.ini");
    WriteServers(ini);
    FirstShow = false; // no probes in the paint figure
    FirstIdle = false;

    std::printf("platform: %s\n", qPrintable(QGuiApplication::platformName()));
    std::printf("paint list + scroll bar, %d servers: median %.3f ms over %d paints\n", kServerCount, PaintFigure(ini),
                kPaintRounds);
    WriteServers(ini, kManyServers);
    std::printf("paint list + scroll bar, %d servers: median %.3f ms over %d paints\n", kManyServers, PaintFigure(ini),
                kPaintRounds);
    // The window was saved at its end; start again from the same list.
    WriteServers(ini);

    std::vector<double> korvan;
    std::vector<double> bare;
    for (int round = 0; round < kStartRounds; ++round) {
        // Interleaved, so both see the same state of the machine.
        for (double ms : Starts(QString::fromLatin1(kModeKorvan), ini))
            korvan.push_back(ms);
        WriteServers(ini);
        for (double ms : Starts(QString::fromLatin1(kModeBare), ini))
            bare.push_back(ms);
    }
    const double k = Median(korvan);
    const double b = Median(bare);
    // The fastest run shows the cost with the least interference from other work on the machine.
    const double kMin = korvan.empty() ? 0 : *std::min_element(korvan.begin(), korvan.end());
    const double bMin = bare.empty() ? 0 : *std::min_element(bare.begin(), bare.end());
    std::printf("start to first paint, %d servers: main window median %.1f ms, fastest %.1f ms (%zu runs); "
                "bare QListWidget median %.1f ms, fastest %.1f ms (%zu runs); ratio of medians %.2f, of fastest %.2f\n",
                kServerCount, k, kMin, korvan.size(), b, bMin, bare.size(), b > 0 ? k / b : 0.0,
                bMin > 0 ? kMin / bMin : 0.0);
    return 0;
}
