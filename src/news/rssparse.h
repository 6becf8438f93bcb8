// Reading a news channel (RSS or Atom) into HTML pages, one page per item, within fixed bounds on the
// work and memory any channel can claim, whatever its author wrote. No network, no window: safe on any
// thread.
#pragma once

#include "core/globaltypes_u.h"

#include <QByteArray>
#include <atomic>
#include <cstddef>
#include <string>
#include <vector>

// Items read from one channel; the rest of it is left unread.
inline constexpr int kMaxRSSItems = 10000;
// Element nesting: channels use a handful of levels; a deeper document is read down to here only.
inline constexpr int kMaxRSSDepth = 64;
// Characters the reader may produce for one channel (entities expanded), and characters kept from them.
inline constexpr std::size_t kMaxRSSChannelChars = 8 * 1024 * 1024;
// The most one declared entity may stand for; the reader refuses a document that goes past it.
inline constexpr std::size_t kMaxRSSEntityChars = 4096;
// One page as the view gets it, in UTF-8 bytes (the cut mark comes on top).
inline constexpr std::size_t kMaxRSSPageBytes = 32 * 1024;
// The longest run of text without a place to break the line; a longer one gets an invisible one.
inline constexpr int kMaxRSSWordChars = 200;
// Tables inside tables: each level costs the layout more than the last.
inline constexpr int kMaxRSSTableDepth = 8;

// One news item as the channel gives it; texts in UTF-8, taken over as they stand.
struct TRSSItem
{
    std::string Title;
    std::string Description;
    std::string Link;
};

// The HTML page of one item, one line of the document per entry.
std::vector<std::string> RSSPageLines(const TRSSItem& item);
// The page as one text: its lines joined by line breaks, then bounded (BoundRSSPage).
std::string RSSPage(const TRSSItem& item, const std::string& cutMark = {});
// A page the view can lay out quickly: at most kMaxRSSPageBytes, cut where the text (not a tag, a comment or
// a hidden element) ends, with `cutMark` in a paragraph of its own after it; a run of more than
// kMaxRSSWordChars characters gets an invisible break opportunity; tables nest kMaxRSSTableDepth deep at
// most. A page within all bounds comes back unchanged. One pass, linear in the page.
std::string BoundRSSPage(const std::string& page, const std::string& cutMark);

struct TRSSParseOptions
{
    // Shown where a page was cut (a text of the text tables).
    std::string CutMark;
    // Set from any thread: the parse gives up soon after, and its result is empty and not Ok.
    const std::atomic<bool>* Cancel = nullptr;
};

struct TRSSParseResult
{
    bool Ok = false;  // false: the text is not a well-formed XML document, or its entities could overflow
    bool Cut = false; // a bound ended the reading early; Pages hold the items finished before it
    TRSSDataList Pages;
};
// Every "item" below the document element, or every "entry" of an Atom feed, in document order; items
// with no title, description or link give no page. The encoding is taken from the document itself.
// Linear in the document: the bounds above hold for any input.
TRSSParseResult ParseRSS(const QByteArray& document, const TRSSParseOptions& options = {});
