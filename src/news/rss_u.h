// A server's news: its RSS or Atom channel fetched in the background, every item made into a small HTML
// page of its own, and the pages handed to the server's entry on the main thread.
#pragma once

#include "core/globaltypes_u.h"

#include <QByteArray>
#include <QPointer>
#include <cstdint>
#include <functional>
#include <string>

class QObject;

// "http://" in front of an address that does not start with "http://" or "https://" (any letter case),
// so that whatever a channel or a user wrote is opened as a web address and never as a local file.
std::string AddHttpPrefix(const std::string& address);

// One news item as the channel gives it; texts in UTF-8, taken over as they stand.
struct TRSSItem
{
    std::string Title;
    std::string Description;
    std::string Link;
};

// The HTML page of one item, one line of the document per entry.
std::vector<std::string> RSSPageLines(const TRSSItem& item);
// The page as one text: its lines joined by line breaks.
std::string RSSPage(const TRSSItem& item);

struct TRSSParseResult
{
    bool Ok = false; // false: the text is not a well-formed XML document
    TRSSDataList Pages;
};
// Every "item" below the document element, or every "entry" of an Atom feed, in document order; items
// with no title, description or link give no page. The encoding is taken from the document itself.
TRSSParseResult ParseRSS(const QByteArray& document);

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
// rssNotSet when it has none; then re-renders the view if that entry is the selected one.
// Main thread only; an index out of range is ignored.
void StartRSSLoad(int index);

// How many fetches are running: started and not yet handed over.
int RunningRSSFetches();
