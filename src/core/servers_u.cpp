#include "core/servers_u.h"

#include "core/ini.h"
#include "platform/files.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <utility>

std::vector<TServer> Servers;
std::array<std::string, kServerTypeCount> ServerTypeNames = {"", "Normal", "RP", "PvP", "RPPvP", "Multirealm"};

namespace {

constexpr auto kDefaultWaitStep = std::chrono::milliseconds(20);

std::uint64_t NextServerId()
{
    static std::uint64_t next = 0;
    return ++next;
}

// The values a user edits; the probe and news state stay as they are.
void AssignValues(TServer& s, const TServer& values)
{
    s.Name = values.Name;
    s.Address = values.Address;
    s.Comments = values.Comments;
    s.Preloader = values.Preloader;
    s.AltPath = values.AltPath;
    s.Patchlist = values.Patchlist;
    s.Website = values.Website;
    s.ServerType = values.ServerType;
    s.AutoCacheClear = values.AutoCacheClear;
    s.RSSUrl = values.RSSUrl;
    s.WineCommand = values.WineCommand;
    s.WinePrefix = values.WinePrefix;
    s.Environment = values.Environment;
    s.GameArguments = values.GameArguments;
}

void AppendEntry(const TServer& values)
{
    TServer s;
    AssignValues(s, values);
    s.Status = ssChecking;
    s.Ping = kPingReset;
    s.RSSState = rssNotLoaded;
    s.Id = NextServerId();
    Servers.push_back(std::move(s));
}

// Identities start at 1; 0 stands for no server and finds none.
template <class TList> auto FindById(TList& servers, std::uint64_t id) -> decltype(servers.data())
{
    if (id == kNoServerId)
        return nullptr;
    for (auto& s : servers)
        if (s.Id == id)
            return &s;
    return nullptr;
}

// Every key this copy reads from a server's section. A save writes these afresh and keeps any other key of
// the section as it stood, so the keys of a newer copy survive this one's save: a key added to the server
// record must be named here, or the line of an old value would stay beside the new one.
constexpr std::array<std::string_view, 13> kServerKeys = {
    "Address",        "Comments", "Preloader",   "AltPath",    "Patchlist",   "Website",       "ServerType",
    "AutoCacheClear", "RSSUrl",   "WineCommand", "WinePrefix", "Environment", "GameArguments",
};

bool IsServerKey(std::string_view key)
{
    return std::any_of(kServerKeys.begin(), kServerKeys.end(), [&](std::string_view k) { return EqualNames(k, key); });
}

// The lines of the keys a save does not write itself, in their order, from the section read first.
std::vector<std::string> ForeignKeyLines(const TIniFile::Section& section)
{
    std::vector<std::string> lines;
    for (const TIniFile::Line& l : section.lines)
        if (TIniFile::IsListedKey(l) && !IsServerKey(l.text.substr(l.keyBegin, l.keyEnd - l.keyBegin)))
            lines.emplace_back(l.text);
    return lines;
}

// Every key written here is named in kServerKeys.
void WriteServer(TIniFile& ini, const TServer& s)
{
    ini.WriteString(s.Name, "Address", s.Address);
    const std::pair<const char*, const std::string*> optional[] = {
        {"Comments", &s.Comments},   {"Preloader", &s.Preloader}, {"AltPath", &s.AltPath},
        {"Patchlist", &s.Patchlist}, {"Website", &s.Website},
    };
    for (const auto& [key, value] : optional)
        if (!value->empty())
            ini.WriteString(s.Name, key, *value);
    if (s.ServerType != 0)
        ini.WriteInteger(s.Name, "ServerType", s.ServerType);
    if (s.AutoCacheClear)
        ini.WriteBool(s.Name, "AutoCacheClear", true);
    if (!s.RSSUrl.empty())
        ini.WriteString(s.Name, "RSSUrl", s.RSSUrl);
    const std::pair<const char*, const std::string*> wine[] = {
        {"WineCommand", &s.WineCommand},
        {"WinePrefix", &s.WinePrefix},
        {"Environment", &s.Environment},
        {"GameArguments", &s.GameArguments},
    };
    for (const auto& [key, value] : wine)
        if (!value->empty())
            ini.WriteString(s.Name, key, *value);
}

void WaitForLock(const TWaitStep& waitStep)
{
    const std::string lock = LockPath();
    const auto start = std::chrono::steady_clock::now();
    // A lock whose writer is gone (killed during its save) costs no wait at all.
    while (platform::LockFileState(lock) == platform::TLockFileState::Live &&
           std::chrono::steady_clock::now() - start < std::chrono::milliseconds(kLockWaitMs)) {
        if (waitStep)
            waitStep();
        else
            std::this_thread::sleep_for(kDefaultWaitStep);
    }
}

} // namespace

std::string LockPath()
{
    return platform::FolderOf(IniPath) + kLockFileName;
}

int FindServer(const std::string& Name)
{
    for (std::size_t i = 0; i < Servers.size(); ++i)
        if (!Servers[i].Deleted && EqualNames(Servers[i].Name, Name))
            return static_cast<int>(i);
    return -1;
}

bool ServerExists(const std::string& Name)
{
    return FindServer(Name) >= 0;
}

bool IsStorableServerName(const std::string& Name)
{
    return IsStorableSectionName(Name) && !EqualNames(Name, kSettingsSection);
}

bool AddServer(const TServer& values)
{
    // A server that would come back under another name, or not at all, after a restart is never added.
    if (!IsStorableServerName(values.Name) || ServerExists(values.Name))
        return false;
    AppendEntry(values);
    CompactServers();
    return true;
}

bool ChangeServer(const TServer& values)
{
    int i = FindServer(values.Name);
    if (i < 0)
        return false;
    AssignValues(Servers[static_cast<std::size_t>(i)], values);
    return true;
}

bool RemoveServer(const std::string& Name)
{
    int i = FindServer(Name);
    if (i < 0)
        return false;
    Servers[static_cast<std::size_t>(i)].Deleted = true;
    CompactServers();
    return true;
}

bool SwapServers(int a, int b)
{
    const auto n = static_cast<int>(Servers.size());
    // Negative indices are refused too: they would address memory before the array.
    if (a < 0 || b < 0 || a >= n || b >= n || a == b)
        return false;
    std::swap(Servers[static_cast<std::size_t>(a)], Servers[static_cast<std::size_t>(b)]);
    return true;
}

void CompactServers()
{
    // A stable partition made of neighbour swaps: each live entry moves left past the removed entries
    // in front of it, so the cost is the number of entries that are out of place.
    for (int i = 1; i < static_cast<int>(Servers.size()); ++i)
        for (int j = i;
             j > 0 && !Servers[static_cast<std::size_t>(j)].Deleted && Servers[static_cast<std::size_t>(j - 1)].Deleted;
             --j)
            SwapServers(j - 1, j);
}

std::vector<std::string> GetServerNames()
{
    std::vector<std::string> names;
    names.reserve(Servers.size());
    for (const TServer& s : Servers)
        names.push_back(s.Name);
    return names;
}

int IndexOfServerId(std::uint64_t id)
{
    for (std::size_t i = 0; i < Servers.size(); ++i)
        if (Servers[i].Id == id)
            return static_cast<int>(i);
    return -1;
}

TServer* ServerById(std::vector<TServer>& servers, std::uint64_t id)
{
    return FindById(servers, id);
}

const TServer* ServerById(const std::vector<TServer>& servers, std::uint64_t id)
{
    return FindById(servers, id);
}

TServer* ServerById(std::uint64_t id)
{
    return FindById(Servers, id);
}

TServer* LiveServerById(std::uint64_t id)
{
    TServer* server = FindById(Servers, id);
    return server && !server->Deleted ? server : nullptr;
}

TServer* ServerAt(int index)
{
    return index >= 0 && index < static_cast<int>(Servers.size()) ? &Servers[static_cast<std::size_t>(index)] : nullptr;
}

bool LoadServers(const TWaitStep& waitStep)
{
    // Another copy may be rewriting the file right now (the update hand-over); read only after it is done.
    WaitForLock(waitStep);
    TIniFile ini(IniPath);
    if (!ini.Load())
        return false;

    // Same outcome as adding each section through AddServer, without its scan of the whole list per
    // section, so a long list loads in linear time.
    std::unordered_set<std::string> live;
    for (const TServer& s : Servers)
        if (!s.Deleted)
            live.insert(UpperAscii(s.Name));
    for (const std::string& name : ini.SectionNames()) {
        // Every section called "main" belongs to the settings, also a second one or an empty one.
        if (EqualNames(name, kSettingsSection))
            continue;
        if (!live.insert(UpperAscii(name)).second)
            continue;
        AppendEntry({.Name = name,
                     .Address = ini.ReadString(name, "Address", ""),
                     .Comments = ini.ReadString(name, "Comments", ""),
                     .Preloader = ini.ReadString(name, "Preloader", ""),
                     .AltPath = ini.ReadString(name, "AltPath", ""),
                     .Patchlist = ini.ReadString(name, "Patchlist", ""),
                     .Website = ini.ReadString(name, "Website", ""),
                     .ServerType = static_cast<std::uint8_t>(ini.ReadInteger(name, "ServerType", 0)),
                     .AutoCacheClear = ini.ReadBool(name, "AutoCacheClear", false),
                     .RSSUrl = ini.ReadString(name, "RSSUrl", ""),
                     .WineCommand = ini.ReadString(name, "WineCommand", ""),
                     .WinePrefix = ini.ReadString(name, "WinePrefix", ""),
                     .Environment = ini.ReadString(name, "Environment", ""),
                     .GameArguments = ini.ReadString(name, "GameArguments", "")});
    }
    CompactServers();
    return true;
}

bool SaveServers()
{
    TIniFile ini(IniPath);
    if (!ini.Load())
        return false;
    const platform::TWriterLock writing(LockPath());

    // Every section of an entry's name is taken out, so the servers go back in list order whatever stood
    // where. The entry's own section is written afresh from the entry, but one without keys (loaded as a
    // server all the same) may hold nothing but the user's comments: those lines move with it.
    // A second section of an entry's name was never loaded; it is kept, unchanged, behind the entry's
    // own section so the entry still comes first when the file is read again.
    // Keys this copy does not know go back into the entry's section after its own, in their order.
    std::unordered_map<std::string, TIniFile::Section> keyless;
    std::unordered_map<std::string, std::vector<std::string>> foreign;
    std::vector<TIniFile::Section> shadowed;
    for (const TServer& s : Servers) {
        const bool hasKeys = ini.SectionExists(s.Name);
        auto taken = ini.TakeSections(s.Name);
        if (taken.empty())
            continue;
        if (!hasKeys && !s.Deleted)
            keyless.emplace(UpperAscii(s.Name), std::move(taken.front()));
        else if (!s.Deleted)
            foreign.emplace(UpperAscii(s.Name), ForeignKeyLines(taken.front()));
        for (std::size_t i = 1; i < taken.size(); ++i)
            shadowed.push_back(std::move(taken[i]));
    }
    for (const TServer& s : Servers) {
        if (s.Deleted)
            continue;
        if (auto own = keyless.find(UpperAscii(s.Name)); own != keyless.end())
            ini.AppendSection(std::move(own->second));
        WriteServer(ini, s);
        if (auto kept = foreign.find(UpperAscii(s.Name)); kept != foreign.end())
            for (std::string& line : kept->second)
                ini.AppendLine(s.Name, std::move(line));
    }
    for (auto& section : shadowed)
        ini.AppendSection(std::move(section));

    return ini.Save();
}
