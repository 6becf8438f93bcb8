#include "support/korvanproc.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <csignal>
#include <unistd.h>

#ifndef KORVAN_EXE
#error "KORVAN_EXE names the built program"
#endif
#ifndef KORVAN_XGRAB
#error "KORVAN_XGRAB names the screen grabber"
#endif

namespace {

constexpr int kPollMs = 50;
constexpr int kXvfbStartMs = 15000;
constexpr int kSettleMs = 150;
constexpr int kGrabMs = 10000;
const char* const kScreen = "1280x1024x24";
const char* const kMainTitle = "^Korvan [0-9]";
// The screen's size, as the X server is started with it.
constexpr int kScreenWidth = 1280;
constexpr int kScreenHeight = 1024;

bool WaitForFileText(const QString& path, QByteArray& text, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        QFile file(path);
        if (file.open(QIODevice::ReadOnly)) {
            text = file.readAll();
            if (text.contains('\n'))
                return true;
        }
        QThread::msleep(kPollMs);
    }
    return false;
}

} // namespace

TKorvanProcess::TKorvanProcess(Display display, const QString& build)
    : root_(std::make_unique<QTemporaryDir>()), env_(QProcessEnvironment::systemEnvironment())
{
    if (!root_->isValid()) {
        error_ = QStringLiteral("no scratch folder");
        return;
    }
    QDir root(root_->path());
    root.mkpath(QStringLiteral("app"));
    root.mkpath(QStringLiteral("home"));
    root.mkpath(QStringLiteral("config"));
    folder_ = root.filePath(QStringLiteral("app"));
    // A hard link keeps the program's own path in /proc/self/exe; a symbolic link would lead it back to
    // the build folder and its tavix.ini.
    const QByteArray exe = build.isEmpty() ? QByteArrayLiteral(KORVAN_EXE) : QFile::encodeName(build);
    if (::link(exe.constData(), QFile::encodeName(Program()).constData()) != 0 &&
        !QFile::copy(QString::fromLocal8Bit(exe), Program())) {
        error_ = QStringLiteral("cannot place the program in ") + folder_;
        return;
    }
    QFile::setPermissions(Program(), QFile::permissions(Program()) | QFile::ExeOwner | QFile::ExeGroup);

    env_.insert(QStringLiteral("HOME"), root.filePath(QStringLiteral("home")));
    env_.insert(QStringLiteral("XDG_CONFIG_HOME"), root.filePath(QStringLiteral("config")));
    // The tests of the other layers run offscreen; this one is about the real desktop program.
    env_.remove(QStringLiteral("QT_QPA_PLATFORM"));
    env_.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env_.remove(QStringLiteral("DISPLAY"));
    env_.remove(QStringLiteral("XAUTHORITY"));
    // No session bus: the tray falls back to the X notification area protocol, as on a plain X desktop.
    env_.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
    if (display == Display::Xvfb && !StartXvfb())
        return;
    if (!display_.isEmpty())
        env_.insert(QStringLiteral("DISPLAY"), display_);
    ready_ = true;
}

TKorvanProcess::~TKorvanProcess()
{
    if (program_ && program_->state() != QProcess::NotRunning) {
        program_->kill();
        program_->waitForFinished(5000);
    }
    if (xvfb_ && xvfb_->state() != QProcess::NotRunning) {
        xvfb_->terminate();
        if (!xvfb_->waitForFinished(5000)) {
            xvfb_->kill();
            xvfb_->waitForFinished(5000);
        }
    }
}

bool TKorvanProcess::StartXvfb()
{
    // Xvfb picks a free display itself and writes its number to the descriptor, once it accepts clients.
    // It listens only on the abstract socket, which belongs to the test's own network namespace: a socket
    // file in the shared /tmp/.X11-unix could be taken over by another test's server of the same number.
    // -noreset: by default the server resets whenever its last client leaves (an xdotool call, a program
    // handing over to its next copy), and a program connecting during the reset is refused and aborts.
    const QString numberFile = QDir(root_->path()).filePath(QStringLiteral("display"));
    xvfb_ = std::make_unique<QProcess>();
    xvfb_->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    xvfb_->setStandardOutputFile(QProcess::nullDevice());
    xvfb_->start(QStringLiteral("sh"),
                 {QStringLiteral("-c"),
                  QStringLiteral("exec Xvfb -displayfd 3 -screen 0 %1 -nolisten tcp -nolisten unix -noreset -wr "
                                 "3>\"$0\" 2>/dev/null")
                      .arg(QLatin1String(kScreen)),
                  numberFile});
    if (!xvfb_->waitForStarted(kXvfbStartMs)) {
        error_ = QStringLiteral("Xvfb did not start (is it installed?)");
        return false;
    }
    QByteArray number;
    if (!WaitForFileText(numberFile, number, kXvfbStartMs)) {
        error_ = QStringLiteral("Xvfb gave no display number");
        return false;
    }
    display_ = QLatin1Char(':') + QString::fromLatin1(number.trimmed());
    return true;
}

void TKorvanProcess::UseDisplay(const QString& display)
{
    display_ = display;
    env_.insert(QStringLiteral("DISPLAY"), display_);
}

QString TKorvanProcess::Folder() const
{
    return folder_;
}

QString TKorvanProcess::Program() const
{
    return QDir(folder_).filePath(QStringLiteral("korvan"));
}

QString TKorvanProcess::Root() const
{
    return root_->path();
}

QString TKorvanProcess::IniPath() const
{
    return QDir(folder_).filePath(QStringLiteral("tavix.ini"));
}

bool TKorvanProcess::WriteFile(const QString& relative, const QByteArray& bytes) const
{
    const QString path = QDir(folder_).filePath(relative);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

QByteArray TKorvanProcess::ReadFile(const QString& relative) const
{
    QFile file(QDir(folder_).filePath(relative));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool TKorvanProcess::Exists(const QString& relative) const
{
    return QFileInfo::exists(QDir(folder_).filePath(relative));
}

bool TKorvanProcess::Start(const QStringList& arguments)
{
    if (!ready_)
        return false;
    program_ = std::make_unique<QProcess>();
    program_->setProcessEnvironment(env_);
    program_->setWorkingDirectory(folder_);
    stdout_.clear();
    stderr_.clear();
    mainWindow_.clear();
    program_->start(Program(), arguments);
    return program_->waitForStarted(10000);
}

bool TKorvanProcess::Run(const QStringList& arguments, int timeoutMs)
{
    return Start(arguments) && WaitForExit(timeoutMs);
}

bool TKorvanProcess::IsRunning() const
{
    return program_ && program_->state() != QProcess::NotRunning;
}

qint64 TKorvanProcess::Pid() const
{
    return program_ ? program_->processId() : 0;
}

QByteArray TKorvanProcess::Xdotool(const QStringList& arguments, int timeoutMs) const
{
    if (display_.isEmpty())
        return {};
    QProcess tool;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), display_);
    tool.setProcessEnvironment(env);
    tool.start(QStringLiteral("xdotool"), arguments);
    if (!tool.waitForFinished(timeoutMs)) {
        tool.kill();
        tool.waitForFinished();
        return {};
    }
    QByteArray out = tool.readAllStandardOutput();
    if (tool.exitStatus() != QProcess::NormalExit || tool.exitCode() != 0)
        return {};
    return out.isEmpty() ? QByteArrayLiteral("\n") : out;
}

QString TKorvanProcess::WaitForWindow(const QString& titleRegex, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (IsRunning() && !deadline.hasExpired()) {
        // --all: the window must be this program's and match the title; xdotool's default is either.
        const QByteArray ids =
            Xdotool({QStringLiteral("search"), QStringLiteral("--all"), QStringLiteral("--onlyvisible"),
                     QStringLiteral("--pid"), QString::number(Pid()), QStringLiteral("--name"), titleRegex});
        const QByteArray first = ids.trimmed().split('\n').value(0);
        if (!first.isEmpty()) {
            // Give the toolkit a moment to map and paint before input arrives.
            QThread::msleep(kSettleMs);
            return QString::fromLatin1(first);
        }
        QThread::msleep(kPollMs);
    }
    return {};
}

QString TKorvanProcess::MainWindow(int timeoutMs)
{
    if (mainWindow_.isEmpty())
        mainWindow_ = WaitForWindow(QLatin1String(kMainTitle), timeoutMs);
    return mainWindow_;
}

QString TKorvanProcess::FindMainWindowAgain(int timeoutMs)
{
    mainWindow_.clear();
    return MainWindow(timeoutMs);
}

QStringList TKorvanProcess::WindowTitles() const
{
    QStringList titles;
    if (!IsRunning())
        return titles;
    const QByteArray ids =
        Xdotool({QStringLiteral("search"), QStringLiteral("--all"), QStringLiteral("--onlyvisible"),
                 QStringLiteral("--pid"), QString::number(Pid()), QStringLiteral("--name"), QStringLiteral(".*")});
    for (const QByteArray& id : ids.trimmed().split('\n')) {
        if (id.isEmpty())
            continue;
        const QByteArray name = Xdotool({QStringLiteral("getwindowname"), QString::fromLatin1(id)});
        titles << QString::fromUtf8(name.trimmed());
    }
    return titles;
}

QString TKorvanProcess::Resolve(const QString& window)
{
    return window.isEmpty() ? MainWindow() : window;
}

bool TKorvanProcess::Key(const QString& keys, const QString& window)
{
    const QString id = Resolve(window);
    if (id.isEmpty())
        return false;
    // No window manager runs, so focus is given directly; the keys then go to the focused window.
    Xdotool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), id}, 3000);
    QStringList args{QStringLiteral("key"), QStringLiteral("--delay"), QStringLiteral("40")};
    args << keys.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    const bool ok = !Xdotool(args).isEmpty();
    QThread::msleep(kSettleMs);
    return ok;
}

bool TKorvanProcess::Type(const QString& text, const QString& window)
{
    const QString id = Resolve(window);
    if (id.isEmpty())
        return false;
    Xdotool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), id}, 3000);
    const bool ok = !Xdotool({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("20"), text}).isEmpty();
    QThread::msleep(kSettleMs);
    return ok;
}

bool TKorvanProcess::MoveMouse(int x, int y, const QString& window)
{
    const QString id = Resolve(window);
    if (id.isEmpty())
        return false;
    const bool ok =
        !Xdotool({QStringLiteral("mousemove"), QStringLiteral("--window"), id, QString::number(x), QString::number(y)})
             .isEmpty();
    QThread::msleep(kSettleMs);
    return ok;
}

bool TKorvanProcess::Click(int x, int y, const QString& window, int button)
{
    const QString id = Resolve(window);
    if (id.isEmpty())
        return false;
    const bool ok = !Xdotool({QStringLiteral("mousemove"), QStringLiteral("--window"), id, QString::number(x),
                              QString::number(y), QStringLiteral("click"), QString::number(button)})
                         .isEmpty();
    QThread::msleep(kSettleMs);
    return ok;
}

bool TKorvanProcess::CloseWindow(const QString& window)
{
    const QString id = Resolve(window);
    return !id.isEmpty() && !Xdotool({QStringLiteral("windowclose"), id}).isEmpty();
}

TKorvanProcess::TGeometry TKorvanProcess::Geometry(const QString& window) const
{
    TGeometry geometry;
    const QString id = window.isEmpty() ? mainWindow_ : window;
    if (id.isEmpty())
        return geometry;
    const QByteArray out = Xdotool({QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"), id});
    for (const QByteArray& line : out.split('\n')) {
        const int eq = line.indexOf('=');
        if (eq < 0)
            continue;
        const QByteArray key = line.left(eq);
        const int value = line.mid(eq + 1).toInt();
        if (key == "X")
            geometry.x = value;
        else if (key == "Y")
            geometry.y = value;
        else if (key == "WIDTH")
            geometry.width = value;
        else if (key == "HEIGHT")
            geometry.height = value;
    }
    return geometry;
}

QImage TKorvanProcess::Screenshot() const
{
    return GrabRect(0, 0, kScreenWidth, kScreenHeight);
}

int TKorvanProcess::Depth(const QString& window) const
{
    const QString id = window.isEmpty() ? mainWindow_ : window;
    if (id.isEmpty())
        return 0;
    QProcess info;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), display_);
    info.setProcessEnvironment(env);
    info.start(QStringLiteral("xwininfo"), {QStringLiteral("-id"), id});
    if (!info.waitForFinished())
        return 0;
    static const QRegularExpression depth(QStringLiteral("Depth: (\\d+)"));
    const auto match = depth.match(QString::fromLatin1(info.readAllStandardOutput()));
    return match.hasMatch() ? match.captured(1).toInt() : 0;
}

QImage TKorvanProcess::Grab(const QString& window) const
{
    const TGeometry at = Geometry(window);
    if (at.width <= 0 || at.height <= 0)
        return {};
    return GrabRect(at.x, at.y, at.width, at.height);
}

QImage TKorvanProcess::GrabRect(int x, int y, int width, int height) const
{
    if (display_.isEmpty())
        return {};
    QProcess grab;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), display_);
    grab.setProcessEnvironment(env);
    grab.start(QStringLiteral(KORVAN_XGRAB),
               {QString::number(x), QString::number(y), QString::number(width), QString::number(height)});
    if (!grab.waitForFinished(kGrabMs) || grab.exitStatus() != QProcess::NormalExit || grab.exitCode() != 0)
        return {};
    return QImage::fromData(grab.readAllStandardOutput(), "PNG");
}

bool TKorvanProcess::WaitForExit(int timeoutMs)
{
    if (!program_)
        return false;
    if (program_->state() != QProcess::NotRunning && !program_->waitForFinished(timeoutMs))
        return false;
    stdout_ += program_->readAllStandardOutput();
    stderr_ += program_->readAllStandardError();
    return true;
}

int TKorvanProcess::ExitCode() const
{
    return program_ ? program_->exitCode() : -1;
}

bool TKorvanProcess::ExitedNormally() const
{
    return program_ && program_->state() == QProcess::NotRunning && program_->exitStatus() == QProcess::NormalExit;
}

QByteArray TKorvanProcess::StdOut()
{
    if (program_)
        stdout_ += program_->readAllStandardOutput();
    return stdout_;
}

QByteArray TKorvanProcess::StdErr()
{
    if (program_)
        stderr_ += program_->readAllStandardError();
    return stderr_;
}

void TKorvanProcess::Terminate()
{
    if (IsRunning())
        ::kill(static_cast<pid_t>(Pid()), SIGTERM);
}

void TKorvanProcess::Kill()
{
    if (IsRunning())
        program_->kill();
}
