#include "game/realmlist.h"

#include "core/ini.h"
#include "game/folders.h"
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

bool WriteRealmlist(const std::string& folder, const TServer& server)
{
    return ReplaceGameFile(folder, kRealmlistFileName, RealmlistContent(server.Address, server.Patchlist));
}
