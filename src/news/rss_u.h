// A server's news: its RSS or Atom channel fetched in the background, every item made into a small HTML
// page of its own, and the pages handed to the server's entry on the main thread.
#pragma once

#include "core/globaltypes_u.h"
#include "news/rssparse_u.h"

#include <QByteArray>
#include <QPointer>
#include <cstdint>
#include <functional>
#include <string>

class QObject;

// "http://" in front of an address that does not start with "http://" or "https://" (any letter case),
// so that whatever a channel or a user wrote is opened as a web address and never as a local file.
std::string AddHttpPrefix(const std::string& address);

// Frees a server's pages; the owning type does the rest.
inline void FreeRSSDataList(TRSSDataList& list)
{
    TRSSDataList().swap(list);
}

// What the news asks of the main window. Calls are skipped once the context object is gone, and
// running fetches end with it.
struct TNewsDisplay
{
    QPointer<QObject> Context;
    std::function<int()> SelectedIndex;
    std::function<void()> UpdateRSSBrowser;
};
void SetNewsDisplay(TNewsDisplay display);

// Empties the news of entry `index` and starts fetching its channel (rssLoading), or marks it
// rssNotSet when it has none; then re-renders the view if that entry is the selected one. A fetch
// still running for that entry is abandoned, its parse too. Main thread only; an index out of range
// is ignored.
void StartRSSLoad(int index);

// How many fetches are running: started and not yet handed over.
int RunningRSSFetches();
