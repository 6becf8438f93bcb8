#include "game/folders_u.h"

#include "core/ini_u.h"
#include "platform/files.h"
#include "platform/gamefs.h"

#include <algorithm>
#include <chrono>

bool SilentCacheClear = false;

namespace {

constexpr int kQuestionWDB = 1022;
constexpr int kQuestionWTF = 1027;
constexpr int kQuestionScreenshots = 1028;

char UpperChar(char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool GlobMatch(std::string_view name, std::string_view pattern)
{
    // Iterative matching with one back-track point for the last '*': linear in practice, no recursion.
    std::size_t n = 0, p = 0, starP = std::string_view::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || UpperChar(pattern[p]) == UpperChar(name[n]))) {
            ++n;
            ++p;
        } else if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starN = n;
        } else if (starP != std::string_view::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

// Calls the progress step at most once per interval, however many entries go by.
class TThrottle
{
public:
    explicit TThrottle(const TProgressStep& step) : step_(step), last_(Clock::now()) {}
    void Tick()
    {
        if (!step_)
            return;
        auto now = Clock::now();
        if (now - last_ >= std::chrono::milliseconds(kProgressIntervalMs)) {
            step_();
            last_ = Clock::now();
        }
    }

private:
    using Clock = std::chrono::steady_clock;
    const TProgressStep& step_;
    Clock::time_point last_;
};

// Returns true when every deletion inside `dir` succeeded.
bool EmptyOpenFolder(const platform::TFolder& dir, std::string_view pattern, TThrottle& throttle)
{
    std::vector<platform::TDirEntry> entries;
    bool ok = dir.List(entries);
    std::vector<bool> removed(entries.size(), false);
    // Sub-folders first, hidden ones excepted: emptied depth first, then removed.
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const platform::TDirEntry& e = entries[i];
        if (e.kind == platform::TEntryKind::Folder && !IsHiddenName(e.name)) {
            platform::TFolder child = dir.OpenChild(e.name);
            if (!child.Valid() || !EmptyOpenFolder(child, pattern, throttle))
                ok = false;
            removed[i] = dir.RemoveFolder(e.name);
            ok = ok && removed[i];
        }
        throttle.Tick();
    }
    // Then every remaining entry as a file: a folder left over (hidden, or not emptied) fails here again.
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (removed[i] || !MatchesWildcard(entries[i].name, pattern))
            continue;
        if (!dir.RemoveFile(entries[i].name))
            ok = false;
        throttle.Tick();
    }
    return ok;
}

} // namespace

const TClearTarget& WDBTarget()
{
    static const TClearTarget target{{{"Cache", "WDB"}, {"WDB"}}, kQuestionWDB, false};
    return target;
}

const TClearTarget& WTFTarget()
{
    static const TClearTarget target{{{"WTF"}}, kQuestionWTF, true};
    return target;
}

const TClearTarget& ScreenshotsTarget()
{
    static const TClearTarget target{{{"Screenshots"}}, kQuestionScreenshots, true};
    return target;
}

bool MatchesWildcard(std::string_view name, std::string_view pattern)
{
    if (GlobMatch(name, pattern))
        return true;
    // As on Windows, "name.*" also matches the name without any extension.
    return pattern.size() >= 2 && pattern.substr(pattern.size() - 2) == ".*" &&
           GlobMatch(name, pattern.substr(0, pattern.size() - 2));
}

bool IsHiddenName(std::string_view name)
{
    return !name.empty() && name.front() == '.';
}

std::optional<std::string> FirstInListingOrder(const std::vector<std::string>& names)
{
    auto first = std::min_element(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        std::string ua = UpperAscii(a), ub = UpperAscii(b);
        return ua != ub ? ua < ub : a < b;
    });
    return first == names.end() ? std::nullopt : std::optional<std::string>(*first);
}

std::optional<std::string> PickNameNoCase(const std::vector<std::string>& names, std::string_view name)
{
    std::vector<std::string> matches;
    for (const std::string& candidate : names) {
        if (candidate == name)
            return candidate;
        if (EqualNames(candidate, name))
            matches.push_back(candidate);
    }
    return FirstInListingOrder(matches);
}

std::optional<std::string> ResolveFolderNoCase(const std::string& base, const std::vector<std::string>& parts)
{
    if (base.empty())
        return std::nullopt;
    std::string path = base;
    if (path.back() != '/')
        path += '/';
    for (const std::string& part : parts) {
        std::vector<std::string> folders;
        for (const platform::TDirEntry& e : platform::ListFolder(path))
            if (e.kind == platform::TEntryKind::Folder)
                folders.push_back(e.name);
        auto name = PickNameNoCase(folders, part);
        if (!name)
            return std::nullopt;
        path += *name + "/";
    }
    return path;
}

std::string GameFolderOf(const TServer& server, const std::string& wowPath)
{
    return platform::FolderOf(server.AltPath.empty() ? wowPath : server.AltPath);
}

std::optional<std::string> EnterTargetFolder(const std::string& gameFolder, const TClearTarget& target)
{
    // Without a game folder there is nothing to clear: the current folder is not a stand-in for it.
    if (gameFolder.empty())
        return std::nullopt;
    for (const std::vector<std::string>& candidate : target.candidates) {
        auto folder = ResolveFolderNoCase(gameFolder, candidate);
        if (folder && platform::SetCurrentFolder(*folder))
            return folder;
    }
    return std::nullopt;
}

bool EmptyFolder(const std::string& mask, const TProgressStep& step)
{
    auto cut = mask.find_last_of('/');
    std::string folder = cut == std::string::npos ? std::string(".") : mask.substr(0, cut + 1);
    std::string_view pattern =
        cut == std::string::npos ? std::string_view(mask) : std::string_view(mask).substr(cut + 1);
    platform::TFolder dir = platform::TFolder::Open(folder);
    if (!dir.Valid())
        return false;
    TThrottle throttle(step);
    return EmptyOpenFolder(dir, pattern, throttle);
}
