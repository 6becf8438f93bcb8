#include "news/rssparse.h"

#include <QString>
#include <QXmlStreamReader>
#include <algorithm>
#include <optional>
#include <string_view>

namespace {

constexpr const char* kPageLineBreak = "\n";
// U+200B ZERO WIDTH SPACE: a place where the view may break a line, drawn as nothing.
constexpr std::string_view kBreakOpportunity = "\xE2\x80\x8B";
// Start tags on one page: each costs the layout a block, a cell or a list level.
constexpr int kMaxPageTags = 256;
// A tag or comment longer than this is cut off: text the view might read differently stays short.
constexpr std::size_t kMaxMarkupBytes = 4096;
constexpr std::size_t kMaxReferenceBytes = 32;
// "&e;": the shortest reference to a declared entity, in characters and so at least in bytes.
constexpr std::size_t kShortestReference = 3;
// How often a parse looks at its cancel flag, in reader tokens.
constexpr unsigned kCancelCheckTokens = 256;
// Text collected for one field: one character more than a page holds, so that a field cut here still
// overflows its page, which then shows the cut mark.
constexpr qsizetype kMaxFieldChars = static_cast<qsizetype>(kMaxRSSPageBytes) + 1;
constexpr std::string_view kTableOpen = "<table";
constexpr std::string_view kTableClose = "</table";
constexpr std::string_view kCommentOpen = "<!--";
constexpr std::string_view kCommentClose = "-->";

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

bool IsAsciiLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool IsAsciiAlnum(char c)
{
    return IsAsciiLetter(c) || (c >= '0' && c <= '9');
}

char Lower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool HasAt(std::string_view text, std::size_t at, std::string_view word)
{
    if (text.size() - at < word.size())
        return false;
    for (std::size_t i = 0; i < word.size(); ++i)
        if (Lower(text[at + i]) != word[i])
            return false;
    return true;
}

// Bytes of the UTF-8 character that starts at `at`; 1 for a byte that starts none.
std::size_t CharBytes(std::string_view text, std::size_t at)
{
    const auto lead = static_cast<unsigned char>(text[at]);
    const std::size_t length = lead < 0x80           ? 1
                               : (lead >> 5) == 0x6  ? 2
                               : (lead >> 4) == 0xE  ? 3
                               : (lead >> 3) == 0x1E ? 4
                                                     : 1;
    if (text.size() - at < length)
        return 1;
    for (std::size_t k = 1; k < length; ++k)
        if ((static_cast<unsigned char>(text[at + k]) & 0xC0) != 0x80)
            return 1;
    return length;
}

// Bytes of the entity or character reference at `at` ("&amp;", "&#65;"); 0 when there is none.
std::size_t ReferenceBytes(std::string_view text, std::size_t at)
{
    for (std::size_t k = at + 1; k < text.size() && k - at <= kMaxReferenceBytes; ++k) {
        if (text[k] == ';')
            return k > at + 1 ? k - at + 1 : 0;
        if (!IsAsciiAlnum(text[k]) && text[k] != '#')
            return 0;
    }
    return 0;
}

// One pass over a page, copying it and keeping track of where the view would be inside markup, so that a
// cut lands in text, where its mark shows.
class TPageBound
{
public:
    explicit TPageBound(std::string_view page) : page_(page) {}

    std::string Run(const std::string& cutMark)
    {
        out_.reserve(std::min(page_.size(), kMaxRSSPageBytes));
        while (at_ < page_.size()) {
            if (!(state_ == TState::Text ? TextStep() : MarkupStep()))
                return Cut(cutMark);
        }
        return std::move(out_);
    }

private:
    enum class TState : std::uint8_t
    {
        Text,
        Tag,
        Comment,
    };

    bool Copy(std::size_t length)
    {
        if (out_.size() + length > kMaxRSSPageBytes)
            return false;
        out_.append(page_.substr(at_, length));
        at_ += length;
        return true;
    }

    bool TextStep()
    {
        safeEnd_ = out_.size();
        const char c = page_[at_];
        if (c == '<' && HasAt(page_, at_, kCommentOpen)) {
            state_ = TState::Comment;
            markupStart_ = out_.size();
            return Copy(kCommentOpen.size());
        }
        if (c == '<' && at_ + 1 < page_.size()) {
            const char next = page_[at_ + 1];
            if (IsAsciiLetter(next) || next == '/' || next == '!' || next == '?')
                return OpenTag();
        }
        std::size_t length = c == '&' ? ReferenceBytes(page_, at_) : 0;
        if (length == 0)
            length = CharBytes(page_, at_);
        // One this pass or an earlier one put there is a break like a space.
        if (IsSpace(c) || HasAt(page_, at_, kBreakOpportunity)) {
            run_ = 0;
        } else if (++run_ > kMaxRSSWordChars) {
            if (out_.size() + kBreakOpportunity.size() > kMaxRSSPageBytes)
                return false;
            out_ += kBreakOpportunity;
            run_ = 1;
            safeEnd_ = out_.size();
        }
        return Copy(length);
    }

    bool OpenTag()
    {
        // Counted however the tag ends: the view cannot make more elements than there are tags.
        if (IsAsciiLetter(page_[at_ + 1]) && ++tags_ > kMaxPageTags)
            return false;
        if (HasAt(page_, at_, kTableOpen)) {
            if (++tableDepth_ > kMaxRSSTableDepth)
                return false;
        } else if (HasAt(page_, at_, kTableClose)) {
            tableDepth_ = std::max(0, tableDepth_ - 1);
        }
        state_ = TState::Tag;
        quote_ = 0;
        markupStart_ = out_.size();
        return Copy(1);
    }

    bool MarkupStep()
    {
        if (out_.size() - markupStart_ >= kMaxMarkupBytes)
            return false;
        const char c = page_[at_];
        if (state_ == TState::Comment) {
            if (HasAt(page_, at_, kCommentClose)) {
                state_ = TState::Text;
                return Copy(kCommentClose.size());
            }
            return Copy(1);
        }
        if (quote_ != 0) {
            if (c == quote_)
                quote_ = 0;
        } else if (c == '"' || c == '\'') {
            quote_ = c;
        } else if (c == '>') {
            state_ = TState::Text;
        }
        return Copy(1);
    }

    std::string Cut(const std::string& cutMark)
    {
        out_.resize(safeEnd_);
        if (!cutMark.empty()) {
            out_ += "\n<p>";
            out_ += cutMark;
            out_ += "</p>\n";
        }
        return std::move(out_);
    }

    std::string_view page_;
    std::string out_;
    std::size_t at_ = 0;
    // Where the copy may end with the view outside any markup.
    std::size_t safeEnd_ = 0;
    std::size_t markupStart_ = 0;
    TState state_ = TState::Text;
    char quote_ = 0;
    int run_ = 0;
    int tags_ = 0;
    int tableDepth_ = 0;
};

std::string Utf8(const QString& text)
{
    return text.toUtf8().toStdString();
}

enum class TField : std::uint8_t
{
    None,
    Title,
    Description,
    Link,
    Summary,
    Content,
};

// An item (or Atom entry) whose end tag has not come yet; items may nest, so there may be several.
struct TOpenItem
{
    int Depth = 0;
    std::size_t Slot = 0; // its place in document order
    TRSSItem Item;
    std::string Summary;
    std::string Content;
    bool HavePageLink = false;
    // The child element whose text is being collected, at any depth below it.
    TField Field = TField::None;
    int FieldDepth = -1;
    QString Text;
};

TField FieldOf(QStringView name, bool atom)
{
    if (name == QLatin1String("title"))
        return TField::Title;
    if (name == QLatin1String("link"))
        return TField::Link;
    if (!atom)
        return name == QLatin1String("description") ? TField::Description : TField::None;
    if (name == QLatin1String("summary"))
        return TField::Summary;
    if (name == QLatin1String("content"))
        return TField::Content;
    return TField::None;
}

void Store(TOpenItem& open)
{
    std::string text = Utf8(open.Text);
    switch (open.Field) {
    case TField::Title:
        open.Item.Title = std::move(text);
        break;
    case TField::Description:
        open.Item.Description = std::move(text);
        break;
    case TField::Link:
        open.Item.Link = std::move(text);
        break;
    case TField::Summary:
        open.Summary = std::move(text);
        break;
    case TField::Content:
        open.Content = std::move(text);
        break;
    case TField::None:
        break;
    }
    open.Field = TField::None;
    open.FieldDepth = -1;
    open.Text.clear();
}

// The reader expands entities itself and buffers a whole text before it reports any of it, so a
// document whose entities could expand past the channel's bound is refused before its body is read.
// Every reference takes at least three bytes of the document and stands for at most the longest entity.
bool EntitiesMayOverflow(const QXmlStreamEntityDeclarations& declarations, qsizetype documentBytes)
{
    std::size_t longest = 0;
    for (const QXmlStreamEntityDeclaration& declaration : declarations) {
        const QStringView value = declaration.value();
        // One that names others may stand for as much as the reader allows.
        const std::size_t length = value.contains(u'&') ? kMaxRSSEntityChars : static_cast<std::size_t>(value.size());
        longest = std::max(longest, length);
    }
    const std::size_t references = static_cast<std::size_t>(documentBytes) / kShortestReference;
    return longest > 0 && references > kMaxRSSChannelChars / longest;
}

} // namespace

std::vector<std::string> RSSPageLines(const TRSSItem& item)
{
    std::vector<std::string> lines;
    lines.reserve(5);
    lines.emplace_back("<html><body>");
    if (!item.Link.empty()) {
        lines.push_back("<a href=\"" + item.Link + "\">");
        lines.push_back(item.Title.empty() ? item.Link : "<b>" + item.Title + "</b>");
        lines.emplace_back("</a><br />");
    } else {
        lines.push_back("<b>" + item.Title + "</b><br />");
    }
    lines.push_back(item.Description);
    lines.emplace_back("</body></html>");
    return lines;
}

std::string RSSPage(const TRSSItem& item, const std::string& cutMark)
{
    std::string page;
    for (const std::string& line : RSSPageLines(item)) {
        page += line;
        page += kPageLineBreak;
    }
    return BoundRSSPage(page, cutMark);
}

std::string BoundRSSPage(const std::string& page, const std::string& cutMark)
{
    return TPageBound(page).Run(cutMark);
}

TRSSParseResult ParseRSS(const QByteArray& document, const TRSSParseOptions& options)
{
    // One pass over the document instead of a tree of it: the same reader a DOM would be built with (it
    // takes the encoding from the document's own declaration), at a fraction of the time and memory.
    // Whitespace-only text between tags is left out and CDATA kept, as a DOM's text content has it.
    TRSSParseResult result;
    QXmlStreamReader reader(document);
    reader.setNamespaceProcessing(false);
    reader.setEntityExpansionLimit(static_cast<int>(kMaxRSSEntityChars));
    std::vector<std::optional<std::string>> pagesInOrder;
    std::vector<TOpenItem> open;
    bool atom = false;
    int depth = 0;
    int items = 0;
    std::size_t charsRead = 0;
    std::size_t charsKept = 0;
    unsigned tokens = 0;
    // A bound reached: what was finished before it is kept, the rest is not read.
    bool stopped = false;
    while (!stopped && !reader.atEnd()) {
        if (options.Cancel && ++tokens % kCancelCheckTokens == 0 && options.Cancel->load(std::memory_order_relaxed))
            return {};
        switch (reader.readNext()) {
        case QXmlStreamReader::DTD:
            if (EntitiesMayOverflow(reader.entityDeclarations(), document.size())) {
                result.Cut = true;
                return result;
            }
            break;
        case QXmlStreamReader::StartElement: {
            const QStringView name = reader.qualifiedName();
            if (depth >= kMaxRSSDepth) {
                stopped = true;
                break;
            }
            if (depth == 0)
                atom = name == QLatin1String("feed");
            // A child of the innermost open item: one of the texts that make its page?
            if (!open.empty() && open.back().Depth == depth - 1) {
                TOpenItem& item = open.back();
                const TField field = FieldOf(name, atom);
                if (field == TField::Link && atom) {
                    // Atom gives the address as an attribute; the alternate link (or one without a rel) is
                    // the item's page, another kind of link counts only while there is none.
                    if (!item.HavePageLink) {
                        const QStringView rel = reader.attributes().value(QLatin1String("rel"));
                        const QStringView href = reader.attributes().value(QLatin1String("href"));
                        item.HavePageLink = rel.isEmpty() || rel == QLatin1String("alternate");
                        if (!href.isEmpty()) {
                            item.Item.Link = Utf8(href.left(kMaxFieldChars).toString());
                        } else {
                            item.Field = field;
                            item.FieldDepth = depth;
                            item.Text.clear();
                        }
                    }
                } else if (field != TField::None) {
                    item.Field = field;
                    item.FieldDepth = depth;
                    item.Text.clear();
                }
            }
            if (depth > 0 && name == (atom ? QLatin1String("entry") : QLatin1String("item"))) {
                if (++items > kMaxRSSItems) {
                    stopped = true;
                    break;
                }
                TOpenItem item;
                item.Depth = depth;
                item.Slot = pagesInOrder.size();
                pagesInOrder.emplace_back();
                open.push_back(std::move(item));
            }
            ++depth;
            break;
        }
        case QXmlStreamReader::Characters: {
            if (reader.isWhitespace() && !reader.isCDATA())
                break;
            const QStringView text = reader.text();
            charsRead += static_cast<std::size_t>(text.size());
            if (charsRead > kMaxRSSChannelChars) {
                stopped = true;
                break;
            }
            // Nested items may all be collecting: each keeps at most a page's worth.
            for (TOpenItem& item : open) {
                if (item.FieldDepth < 0 || item.Text.size() >= kMaxFieldChars)
                    continue;
                const QStringView part = text.left(kMaxFieldChars - item.Text.size());
                charsKept += static_cast<std::size_t>(part.size());
                if (charsKept > kMaxRSSChannelChars) {
                    stopped = true;
                    break;
                }
                item.Text += part;
            }
            break;
        }
        case QXmlStreamReader::EndElement:
            --depth;
            for (TOpenItem& item : open)
                if (item.FieldDepth == depth)
                    Store(item);
            if (!open.empty() && open.back().Depth == depth) {
                TOpenItem& item = open.back();
                if (atom)
                    item.Item.Description = item.Summary.empty() ? item.Content : item.Summary;
                if (!item.Item.Title.empty() || !item.Item.Description.empty() || !item.Item.Link.empty())
                    pagesInOrder[item.Slot] = RSSPage(item.Item, options.CutMark);
                open.pop_back();
            }
            break;
        default:
            break;
        }
    }
    if (!stopped && reader.hasError())
        return result;
    result.Ok = true;
    result.Cut = stopped;
    result.Pages.reserve(pagesInOrder.size());
    for (std::optional<std::string>& page : pagesInOrder)
        if (page)
            result.Pages.push_back(std::move(*page));
    return result;
}
