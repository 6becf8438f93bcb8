#include "game/configwtf.h"

#include "core/ini.h"
#include "game/folders.h"
#include "game/getver_u.h"
#include "platform/files.h"
#include "platform/gamefs.h"

#include <vector>

namespace {

constexpr std::string_view kSetCommand = "SET";
constexpr std::string_view kRealmListName = "realmList";
constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LittleMark = "\xFF\xFE";
constexpr std::string_view kUtf16BigMark = "\xFE\xFF";
// What the client writes on its own system, for a file that shows no line end to follow.
constexpr std::string_view kDefaultLineEnd = "\r\n";
constexpr char kDeleteChar = 0x7F;

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

// Matches `word` at `pos` in any letter case and moves past it.
bool TakeWord(std::string_view line, std::size_t& pos, std::string_view word)
{
    if (!EqualNames(line.substr(pos, word.size()), word))
        return false;
    pos += word.size();
    return true;
}

std::size_t SkipBlanks(std::string_view line, std::size_t pos)
{
    while (pos < line.size() && IsBlank(line[pos]))
        ++pos;
    return pos;
}

// Where the name "realmList" of a realm list line ends; nothing for any other line. "realmListbn" and the
// like are other settings of their own.
std::optional<std::size_t> RealmListNameEnd(std::string_view line)
{
    std::size_t pos = SkipBlanks(line, 0);
    if (!TakeWord(line, pos, kSetCommand) || pos >= line.size() || !IsBlank(line[pos]))
        return std::nullopt;
    pos = SkipBlanks(line, pos);
    if (!TakeWord(line, pos, kRealmListName))
        return std::nullopt;
    if (pos < line.size() && !IsBlank(line[pos]) && line[pos] != '"')
        return std::nullopt;
    return pos;
}

bool FitsInQuotes(std::string_view value)
{
    for (char c : value)
        if (c == '"' || c == kDeleteChar || static_cast<unsigned char>(c) < 0x20)
            return false;
    return true;
}

// A line of the file: its text and the line end after it ("\r\n", "\n" or none), both as found.
struct TLine
{
    std::string_view text;
    std::string_view end;
};

std::vector<TLine> SplitLines(std::string_view content)
{
    std::vector<TLine> lines;
    std::size_t start = 0;
    while (start < content.size()) {
        std::size_t feed = content.find('\n', start);
        std::size_t stop = feed == std::string_view::npos ? content.size() : feed;
        std::size_t textEnd = stop > start && content[stop - 1] == '\r' ? stop - 1 : stop;
        std::size_t next = feed == std::string_view::npos ? content.size() : feed + 1;
        lines.push_back({content.substr(start, textEnd - start), content.substr(textEnd, next - textEnd)});
        start = next;
    }
    return lines;
}

std::string_view WithoutMark(std::string_view content)
{
    return content.starts_with(kUtf8Mark) ? content.substr(kUtf8Mark.size()) : content;
}

std::string RealmListLine(std::string_view line, std::size_t nameEnd, std::string_view address)
{
    std::string rewritten(line.substr(0, nameEnd));
    const std::size_t valueStart = SkipBlanks(line, nameEnd);
    if (valueStart > nameEnd)
        rewritten += line.substr(nameEnd, valueStart - nameEnd);
    else
        rewritten += ' ';
    rewritten += '"';
    rewritten += address;
    rewritten += '"';
    return rewritten;
}

// The WTF folder of a game folder in any letter case, also one that is a link to a folder.
std::optional<std::string> FindConfigFolder(const std::string& gameFolder)
{
    std::vector<std::string> folders;
    for (const platform::TDirEntry& e : platform::ListFolder(gameFolder))
        if (e.kind == platform::TEntryKind::Folder ||
            (e.kind == platform::TEntryKind::Link && platform::FolderExists(gameFolder + e.name)))
            folders.push_back(e.name);
    auto name = PickNameNoCase(folders, kConfigFolderName);
    return name ? std::optional<std::string>(gameFolder + *name + "/") : std::nullopt;
}

} // namespace

bool IsRealmListLine(std::string_view line)
{
    return RealmListNameEnd(line).has_value();
}

bool HasRealmListLine(std::string_view content)
{
    for (const TLine& line : SplitLines(WithoutMark(content)))
        if (IsRealmListLine(line.text))
            return true;
    return false;
}

std::optional<std::string> WithRealmList(std::string_view content, std::string_view address)
{
    if (!FitsInQuotes(address) || content.starts_with(kUtf16LittleMark) || content.starts_with(kUtf16BigMark))
        return std::nullopt;
    const std::string_view mark = content.substr(0, content.size() - WithoutMark(content).size());
    const std::vector<TLine> lines = SplitLines(content.substr(mark.size()));
    std::string result(mark);
    bool found = false;
    for (const TLine& line : lines) {
        if (auto nameEnd = RealmListNameEnd(line.text)) {
            result += RealmListLine(line.text, *nameEnd, address);
            found = true;
        } else {
            result += line.text;
        }
        result += line.end;
    }
    if (found)
        return result;
    // In front, so that nothing else moves and a last line without its line end stays so.
    std::string_view lineEnd = kDefaultLineEnd;
    for (const TLine& line : lines)
        if (!line.end.empty()) {
            lineEnd = line.end;
            break;
        }
    std::string added = std::string(kSetCommand) + " " + std::string(kRealmListName);
    return std::string(mark) + RealmListLine(added, added.size(), address) + std::string(lineEnd) +
           std::string(content.substr(mark.size()));
}

bool ClientReadsConfigRealmList(const std::string& gamePath)
{
    TGameVersion version;
    return GetGameVersion(gamePath, version) && version.major >= kConfigRealmListMajor;
}

bool UpdateConfigRealmList(const std::string& gamePath, const std::string& address)
{
    const std::string gameFolder = platform::FolderOf(gamePath);
    if (gameFolder.empty())
        return true;
    const bool readsIt = ClientReadsConfigRealmList(gamePath);
    std::optional<std::string> folder = FindConfigFolder(gameFolder);
    if (!folder) {
        if (!readsIt)
            return true;
        // The client makes the folder on its first run; until then it would ask the default realm list.
        folder = gameFolder + kConfigFolderName + "/";
        if (!platform::MakeFolder(*folder))
            return false;
    }
    std::string content;
    const TGameFileRead read = ReadGameFile(*folder, kConfigFileName, kMaxConfigFileSize, content);
    if (read == TGameFileRead::Refused)
        // An older client takes its realm list from realmlist.wtf: a file it cannot be read from stays as it is.
        return !readsIt;
    if (!readsIt && !HasRealmListLine(content))
        return true;
    std::optional<std::string> next = WithRealmList(content, address);
    if (!next)
        return false;
    if (read == TGameFileRead::Read && *next == content)
        return true;
    return ReplaceGameFile(*folder, kConfigFileName, *next);
}
