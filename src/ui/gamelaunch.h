// The game commands: Play for a server, and emptying its game's cache, settings and screenshot folders.
// The window names the server each command is for and hears through signals what became of it.
#pragma once

#include "game/procinfo.h"

#include <QObject>
#include <cstdint>
#include <string>

class QWidget;
class TSettings;
struct TClearTarget;

class TGameLaunch : public QObject
{
    Q_OBJECT

public:
    // `window` owns the messages; `settings` (the game's path, the second program) outlives the object;
    // `start` starts the game and the second program (empty: for real).
    TGameLaunch(QWidget* window, const TSettings& settings, TProgramStarter start = {});

    // The steps of Play for the server of that identity: the paths checked, the realm list written, the
    // cache emptied when the server asks for it, the game started and the second program with it. Nothing
    // happens for an unknown server or while a folder is being emptied.
    void Play(std::uint64_t serverId);
    // Asks, empties and says how it went; nothing for an unknown server or while busy.
    void ClearWDB(std::uint64_t serverId);
    void ClearWTF(std::uint64_t serverId);
    void ClearScreenshots(std::uint64_t serverId);
    // Empties the folder of `mask` (folder + "*.*"), keeping the window painted; true when all was deleted.
    bool Vyprazdnit(const std::string& mask);
    // A folder is being emptied: the window repaints, but takes no new command.
    bool Busy() const { return busy_; }

signals:
    // The game's path in the settings is missing or wrong: the settings dialog puts it right.
    void gamePathRefused();
    // A path of the server's own (preloader, its own game) is wrong: the server's editor puts it right.
    void serverPathRefused();
    // The server's Wine set-up cannot work (its Wine program, prefix or variables): the Linux page of its
    // editor puts it right.
    void wineSetupRefused(std::uint64_t serverId);
    // The realm list is written and the game is about to start: the window steps aside.
    void launchBegan();
    // The game or the second program did not start: the window comes back before the message.
    void launchFailed();
    // Everything started: the window closes, and with it the program.
    void gameStarted();
    void busyChanged(bool busy);

private:
    // `silent`: as part of Play, without question or outcome.
    void ClearGameFolder(std::uint64_t serverId, const TClearTarget& target, bool silent);

    QWidget* window_;
    const TSettings& settings_;
    TProgramStarter start_;
    bool busy_ = false;
};

// While a folder is being emptied the window only repaints; a close request from the window manager waits
// until the clearing is done, as keys and clicks do, and is then carried out.
class TBusyCloseGuard : public QObject
{
    Q_OBJECT

public:
    // Watches `window`'s close requests from now on.
    explicit TBusyCloseGuard(QWidget* window);

    bool eventFilter(QObject* watched, QEvent* event) override;

public slots:
    // At the end of a clearing a waiting close request is carried out, after the command that cleared
    // the folder has finished, not in the middle of it.
    void SetBusy(bool busy);

private:
    QWidget* window_;
    bool busy_ = false;
    bool closeWaiting_ = false;
};
