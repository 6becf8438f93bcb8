#include "game/folders.h"

#include "core/ini.h"
#include "platform/files.h"
#include "platform/gamefs.h"

#include <algorithm>
#include <chrono>

namespace {

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

// Folders held open at once on the way down; the ones above are closed and opened again from below
// on the way back up, so a deep tree needs neither a deep call stack nor many handles.
constexpr std::size_t kMaxOpenFolders = 16;

// One folder on the way from the cleared folder down to the one being emptied.
struct TLevel
{
    std::string name;           // within the level above; empty for the cleared folder itself
    std::size_t indexAbove = 0; // its entry in the level above
    platform::TFolderId id;     // checked when the folder is opened again from below
    platform::TFolder dir;      // closed while it lies above the open window
    std::vector<platform::TDirEntry> entries;
    std::vector<bool> removed;
    std::size_t next = 0; // next entry to look at for sub-folders
    bool ok = true;
};

// Walks the tree with an explicit stack: sub-folders that are not hidden are emptied depth first and
// removed, then every remaining entry matching the pattern is deleted as a file. Returns true when every
// deletion succeeded.
class TTreeEmptier
{
public:
    TTreeEmptier(std::string_view pattern, TThrottle& throttle) : pattern_(pattern), throttle_(throttle) {}

    bool Run(platform::TFolder root)
    {
        TLevel top;
        top.id = root.Id();
        top.dir = std::move(root);
        levels_.push_back(std::move(top));
        ListLevel(levels_.back());
        while (true) {
            TLevel& level = levels_.back();
            if (level.next < level.entries.size()) {
                const std::size_t i = level.next++;
                const platform::TDirEntry& e = level.entries[i];
                if (e.kind == platform::TEntryKind::Folder && !IsHiddenName(e.name))
                    Descend(i);
                throttle_.Tick();
                continue;
            }
            DeleteFiles(level);
            if (levels_.size() == 1)
                return level.ok;
            if (!Ascend())
                return false;
        }
    }

private:
    // Closes the highest open folder but the deepest; false when there is none to spare.
    bool SpareAHandle()
    {
        if (firstOpen_ + 1 >= levels_.size())
            return false;
        levels_[firstOpen_++].dir = platform::TFolder();
        return true;
    }

    void ListLevel(TLevel& level)
    {
        bool outOfHandles = false;
        while (!level.dir.List(level.entries, &outOfHandles)) {
            level.entries.clear();
            if (!outOfHandles || !SpareAHandle()) {
                level.ok = false;
                break;
            }
        }
        level.removed.assign(level.entries.size(), false);
    }

    void Descend(std::size_t index)
    {
        TLevel& parent = levels_.back();
        const std::string& name = parent.entries[index].name;
        bool outOfHandles = false;
        platform::TFolder child = parent.dir.OpenChild(name, &outOfHandles);
        while (!child.Valid() && outOfHandles && SpareAHandle())
            child = levels_.back().dir.OpenChild(name, &outOfHandles);
        if (!child.Valid()) {
            // It may still be an empty folder that can go; it counts as a failure all the same.
            TLevel& level = levels_.back();
            level.removed[index] = level.dir.RemoveFolder(name);
            level.ok = false;
            return;
        }
        TLevel next;
        next.name = name;
        next.indexAbove = index;
        next.id = child.Id();
        next.dir = std::move(child);
        levels_.push_back(std::move(next));
        if (levels_.size() - firstOpen_ > kMaxOpenFolders)
            SpareAHandle();
        ListLevel(levels_.back());
    }

    void DeleteFiles(TLevel& level)
    {
        // A folder left over (hidden, or not emptied) fails here again, as a file.
        for (std::size_t i = 0; i < level.entries.size(); ++i) {
            if (level.removed[i] || !MatchesWildcard(level.entries[i].name, pattern_))
                continue;
            if (!level.dir.RemoveFile(level.entries[i].name))
                level.ok = false;
            throttle_.Tick();
        }
    }

    // Leaves the deepest folder for the one above, which removes it. False when the folder above
    // cannot be opened again, or is no longer the one we came from (the tree was moved meanwhile).
    bool Ascend()
    {
        const std::size_t depth = levels_.size() - 1;
        TLevel& parent = levels_[depth - 1];
        if (!parent.dir.Valid()) {
            parent.dir = levels_[depth].dir.OpenParent();
            if (!parent.dir.Valid() || parent.dir.Id() != parent.id)
                return false;
            firstOpen_ = depth - 1;
        }
        const bool childOk = levels_[depth].ok;
        const std::string name = std::move(levels_[depth].name);
        const std::size_t index = levels_[depth].indexAbove;
        levels_.pop_back();
        parent.removed[index] = parent.dir.RemoveFolder(name);
        parent.ok = parent.ok && childOk && parent.removed[index];
        return true;
    }

    std::string_view pattern_;
    TThrottle& throttle_;
    std::vector<TLevel> levels_;
    std::size_t firstOpen_ = 0; // levels from here down hold open folders
};

} // namespace

const TClearTarget& WDBTarget()
{
    static const TClearTarget target{{{"Cache", "WDB"}, {"WDB"}}, TTextId::ClearWDBQuestion, false};
    return target;
}

const TClearTarget& WTFTarget()
{
    static const TClearTarget target{{{"WTF"}}, TTextId::ClearWTFQuestion, true};
    return target;
}

const TClearTarget& ScreenshotsTarget()
{
    static const TClearTarget target{{{"Screenshots"}}, TTextId::ClearScreenshotsQuestion, true};
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

std::string GameFilePathIn(const std::string& folder, std::string_view fileName)
{
    std::vector<std::string> names;
    for (const platform::TDirEntry& e : platform::ListFolder(folder))
        if (e.kind != platform::TEntryKind::Folder)
            names.push_back(e.name);
    auto existing = PickNameNoCase(names, fileName);
    return folder + (existing ? *existing : std::string(fileName));
}

namespace {

// The file a game file's name finally stands for: itself, or a regular file of the same name (in any letter
// case) that a link leads to; empty for any other link.
std::string GameFileTarget(const std::string& folder, std::string_view fileName)
{
    const std::string path = GameFilePathIn(folder, fileName);
    const std::string target = platform::FinalPathOf(path);
    if (target.empty())
        return {};
    if (target != path &&
        (!EqualNames(target.substr(platform::FolderOf(target).size()), fileName) || !platform::FileExists(target)))
        return {};
    return target;
}

} // namespace

TGameFileRead ReadGameFile(const std::string& folder, std::string_view fileName, std::uint64_t maxSize,
                           std::string& content)
{
    content.clear();
    const std::string target = GameFileTarget(folder, fileName);
    if (target.empty())
        return TGameFileRead::Refused;
    platform::TReadOnlyFile file;
    bool missing = false;
    if (!file.Open(target, &missing))
        return missing ? TGameFileRead::Missing : TGameFileRead::Refused;
    if (file.Size() > maxSize)
        return TGameFileRead::Refused;
    content.resize(static_cast<std::size_t>(file.Size()));
    if (!file.ReadAt(0, content.data(), content.size())) {
        content.clear();
        return TGameFileRead::Refused;
    }
    return TGameFileRead::Read;
}

bool ReplaceGameFile(const std::string& folder, std::string_view fileName, std::string_view content)
{
    const std::string target = GameFileTarget(folder, fileName);
    if (target.empty())
        return false;
    // What a write killed part-way left (a new file beside the old one, a journal) goes before this one.
    platform::FinishInterruptedSave(target);
    // What was looked at is replaced as named: a link put there since is refused, not followed.
    return platform::ReplaceFileAtomicallyNoFollow(target, content);
}

std::string GameFolderOf(const TServer& server, const std::string& wowPath)
{
    return platform::FolderOf(server.AltPath.empty() ? wowPath : server.AltPath);
}

std::optional<std::string> FindTargetFolder(const std::string& gameFolder, const TClearTarget& target)
{
    // Without a game folder there is nothing to clear: the current folder is not a stand-in for it.
    if (gameFolder.empty())
        return std::nullopt;
    for (const std::vector<std::string>& candidate : target.candidates)
        if (auto folder = ResolveFolderNoCase(gameFolder, candidate))
            return folder;
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
    return TTreeEmptier(pattern, throttle).Run(std::move(dir));
}
