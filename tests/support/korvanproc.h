// Drives the built korvan as a user would: its own process, a private X server, keys and clicks through
// xdotool, and the files it leaves in its folder. Each object is one user with one program folder.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <memory>

class TKorvanProcess
{
public:
    enum class Display
    {
        Xvfb, // a private X server, started in the constructor
        None  // no display at all: DISPLAY and WAYLAND_DISPLAY are removed from the environment
    };

    // Makes a scratch folder with the program in it (a hard link, or a copy where linking fails) and,
    // for Display::Xvfb, starts an X server of its own. HOME and XDG_CONFIG_HOME point into the scratch
    // folder, so nothing of the real user is touched. `build` names another build of the program to place
    // there (one that trusts a test key for its updates, say); empty: the program the tests were built for.
    explicit TKorvanProcess(Display display = Display::Xvfb, const QString& build = {});
    ~TKorvanProcess();
    TKorvanProcess(const TKorvanProcess&) = delete;
    TKorvanProcess& operator=(const TKorvanProcess&) = delete;

    // False when the folder or the X server could not be made; Error() says why.
    bool IsReady() const { return ready_; }
    QString Error() const { return error_; }

    // The program's folder (tavix.ini lives here) and the program itself.
    QString Folder() const;
    QString Program() const;
    // The scratch root around the program folder: home/, config/ and whatever a test adds.
    QString Root() const;
    // "tavix.ini" beside the program.
    QString IniPath() const;
    // The X display, such as ":17"; empty without one.
    QString DisplayName() const { return display_; }
    // Runs on another object's X server, as a second program of the same desktop session.
    void UseDisplay(const QString& display);

    // Paths relative to Folder(); folders are made as needed.
    bool WriteFile(const QString& relative, const QByteArray& bytes) const;
    QByteArray ReadFile(const QString& relative) const;
    bool Exists(const QString& relative) const;

    // The environment the program starts with; tests may add to it before Start().
    QProcessEnvironment& Environment() { return env_; }

    // Starts the program with these arguments; false when it could not be started.
    bool Start(const QStringList& arguments = {});
    // Runs the program to its end (for command-line use): true when it ended within the time.
    bool Run(const QStringList& arguments, int timeoutMs = 30000);
    bool IsRunning() const;
    qint64 Pid() const;

    // The id of a visible window of the program whose title matches the regular expression, waiting for
    // one up to timeoutMs; empty when none appeared.
    QString WaitForWindow(const QString& titleRegex, int timeoutMs = 15000);
    // The main window ("Korvan <version>"), as found by the last WaitForWindow for it.
    QString MainWindow(int timeoutMs = 15000);
    // The main window was made anew (a new window id): look it up again.
    QString FindMainWindowAgain(int timeoutMs = 15000);
    // Every visible window of the program, by title.
    QStringList WindowTitles() const;
    // Focuses the window (the main window when empty) and types xdotool key names, such as "Return" or
    // "alt+1 Down Down".
    bool Key(const QString& keys, const QString& window = {});
    // Types text as the keyboard would.
    bool Type(const QString& text, const QString& window = {});
    // A click at x, y relative to the window's top-left corner (the main window when empty).
    bool Click(int x, int y, const QString& window = {}, int button = 1);
    // Moves the pointer there without clicking (hover).
    bool MoveMouse(int x, int y, const QString& window = {});
    // Asks the window to close as the window manager's close box would (WM_DELETE_WINDOW).
    bool CloseWindow(const QString& window = {});
    // The window's position and size on the screen, or an invalid rect.
    struct TGeometry
    {
        int x = 0, y = 0, width = -1, height = -1;
    };
    TGeometry Geometry(const QString& window = {}) const;
    // What the screen shows of the window (the main window when empty), as a user would see it; a null
    // image when it could not be taken.
    QImage Grab(const QString& window = {}) const;
    // The same of the whole screen (its desktop is plain white where nothing else draws it).
    QImage Screenshot() const;
    // The colour depth of the window (the main window when empty): 32 for a see-through one; 0 if unknown.
    int Depth(const QString& window = {}) const;

    // Waits for the program to end; true when it did. Then ExitCode(), ExitedNormally(), output.
    bool WaitForExit(int timeoutMs = 15000);
    int ExitCode() const;
    // False when the program crashed or was killed by a signal.
    bool ExitedNormally() const;
    QByteArray StdOut();
    QByteArray StdErr();
    // Sends SIGTERM (as at logout) or SIGKILL.
    void Terminate();
    void Kill();

    // Runs one xdotool command on this display; its standard output, or an empty array on failure.
    QByteArray Xdotool(const QStringList& arguments, int timeoutMs = 10000) const;

private:
    bool StartXvfb();
    QImage GrabRect(int x, int y, int width, int height) const;
    QString Resolve(const QString& window);

    bool ready_ = false;
    QString error_;
    std::unique_ptr<class QTemporaryDir> root_;
    QString folder_;
    QString display_;
    QString mainWindow_;
    std::unique_ptr<QProcess> xvfb_;
    std::unique_ptr<QProcess> program_;
    QProcessEnvironment env_;
    QByteArray stdout_;
    QByteArray stderr_;
};
