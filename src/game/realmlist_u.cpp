#include "game/realmlist_u.h"

#include "core/ini_u.h"
#include "game/folders_u.h"
#include "game/getver_u.h"
#include "platform/files.h"
#include "platform/gamefs.h"

std::string RealmlistContent(const std::string& address, const std::string& patchlist)
{
    std::string content = kRealmlistPrefix + address;
    if (!patchlist.empty())
        content += kRealmlistLineBreak + (kPatchlistPrefix + patchlist);
    return content;
}

TLaunchPlan PlanLaunch(const TServer& server, const std::string& wowPath)
{
    TLaunchPlan plan;
    if (wowPath.empty()) {
        plan.check = TLaunchCheck::WoWPathEmpty;
        return plan;
    }
    if (!platform::FileExists(wowPath)) {
        plan.check = TLaunchCheck::WoWPathMissing;
        return plan;
    }
    if (!server.Preloader.empty() && !platform::FileExists(server.Preloader)) {
        plan.check = TLaunchCheck::PreloaderMissing;
        return plan;
    }
    if (!server.AltPath.empty() && !platform::FileExists(server.AltPath)) {
        plan.check = TLaunchCheck::AltPathMissing;
        return plan;
    }
    plan.gamePath = server.AltPath.empty() ? wowPath : server.AltPath;
    plan.runPath = server.Preloader.empty() ? plan.gamePath : server.Preloader;
    return plan;
}

std::string FindLocaleFolder(const std::string& gameFolder)
{
    if (gameFolder.empty())
        return {};
    std::vector<std::string> top;
    for (const platform::TDirEntry& e : platform::ListFolder(gameFolder))
        top.push_back(e.name);
    auto data = PickNameNoCase(top, kDataFolderName);
    if (!data)
        return {};
    std::string dataPath = gameFolder + *data + "/";
    std::vector<std::string> locales;
    for (const platform::TDirEntry& e : platform::ListFolder(dataPath))
        if (!IsHiddenName(e.name) && MatchesWildcard(e.name, kLocaleFolderPattern))
            locales.push_back(e.name);
    // Only the first match counts, as Windows would list them.
    auto first = FirstInListingOrder(locales);
    return first ? dataPath + *first + "/" : std::string();
}

std::string RealmlistFolder(const std::string& gamePath)
{
    std::string folder = platform::FolderOf(gamePath);
    TGameVersion version;
    if (GetGameVersion(gamePath, version) && version.major >= kLocaleFolderMajor) {
        std::string locale = FindLocaleFolder(folder);
        if (!locale.empty())
            return locale;
    }
    return folder;
}

std::string RealmlistPathIn(const std::string& folder)
{
    std::vector<std::string> names;
    for (const platform::TDirEntry& e : platform::ListFolder(folder))
        if (e.kind != platform::TEntryKind::Folder)
            names.push_back(e.name);
    auto existing = PickNameNoCase(names, kRealmlistFileName);
    return folder + (existing ? *existing : std::string(kRealmlistFileName));
}

bool WriteRealmlist(const std::string& folder, const TServer& server)
{
    const std::string path = RealmlistPathIn(folder);
    const std::string target = platform::FinalPathOf(path);
    if (target.empty())
        return false;
    if (target != path) {
        const std::string name = target.substr(platform::FolderOf(target).size());
        if (!EqualNames(name, kRealmlistFileName) || !platform::FileExists(target))
            return false;
    }
    return platform::WriteFileTruncating(target, RealmlistContent(server.Address, server.Patchlist));
}
