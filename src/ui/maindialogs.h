// The main window's dialogs: adding, changing and removing servers, the settings and the about box. The
// dialogs gather input; the server store decides, the list is written at once, and the window hears of
// each change through signals and follows it.
#pragma once

#include "ui/addfm.h"

#include <QObject>
#include <cstdint>

class QWidget;
class TSettings;

class TMainDialogs : public QObject
{
    Q_OBJECT

public:
    // `window` owns the dialogs and the messages; a saved settings dialog is applied to `settings`, whose
    // listeners follow it.
    TMainDialogs(QWidget* window, TSettings& settings);

    // The server editor for a new entry.
    void Add();
    // The server editor for the entry of that identity, opened on `page`; nothing for an unknown one.
    void Edit(std::uint64_t serverId, TAddFormPage page = TAddFormPage::Basic);
    // Asks, then removes the entry of that identity; nothing for an unknown one.
    void Remove(std::uint64_t serverId);
    void EditSettings();
    void ShowAbout();
    // Writes the server list to tavix.ini now, as the exit does; every accepted change to the list
    // (add, edit, remove, move) calls it, so a crash or a kill loses nothing. False when it could not,
    // which is said once per run, not at every change.
    bool SaveServersNow();

signals:
    // Appended at the end of the list, before it is written.
    void serverAdded(std::uint64_t serverId);
    // Its values changed, before it is written; a new news channel is fetched the next time it is shown.
    void serverChanged(std::uint64_t serverId);
    // Gone from the store, before it is written; `row` is where its list row was.
    void serverRemoved(int row);

private:
    QWidget* window_;
    TSettings& settings_;
    bool saveFailureShown_ = false;
};
