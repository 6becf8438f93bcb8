// Times loading and saving tavix.ini files of 1,000 and 10,000 servers with the program's own store,
// and the same work with SimpleIni on the same files in the same run. Prints medians; asserts nothing.
#include "core/ini.h"
#include "core/servers_u.h"
#include "platform/files.h"

#include <SimpleIni.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace {

constexpr int kRepeats = 15;
const char* const kKeys[] = {"Preloader",      "AltPath", "Patchlist", "Website", "ServerType",
                             "AutoCacheClear", "RSSUrl",  "Comments",  "Address"};

std::string MakeFile(int servers)
{
    std::string text = "[Main]\r\nWoWPath=C:\\Games\\World of Warcraft\\WoW.exe\r\nTimeout=3000\r\n";
    for (int i = 0; i < servers; ++i) {
        std::string n = std::to_string(i);
        text += "[Server " + n + "]\r\nAddress=logon" + n + ".example.net:3724\r\nComments=Blizzlike x" + n +
                " rates, friendly community\r\nWebsite=www.server" + n +
                ".example.net\r\nServerType=" + std::to_string(i % 6) + "\r\nRSSUrl=www.server" + n +
                ".example.net/news.rss\r\n";
        if (i % 3 == 0)
            text += "AutoCacheClear=1\r\nPatchlist=patch" + n + ".example.net\r\n";
    }
    return text;
}

double MedianMs(const std::function<void()>& work)
{
    std::vector<double> times;
    for (int r = 0; r < kRepeats; ++r) {
        auto start = std::chrono::steady_clock::now();
        work();
        times.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

void SimpleIniLoad(const std::string& path, CSimpleIniCaseA& ini, std::size_t& checksum)
{
    ini.Reset();
    ini.SetMultiKey(false);
    ini.LoadFile(path.c_str());
    CSimpleIniCaseA::TNamesDepend sections;
    ini.GetAllSections(sections);
    sections.sort(CSimpleIniCaseA::Entry::LoadOrder());
    for (const auto& s : sections) {
        if (EqualNames(s.pItem, "Main"))
            continue;
        for (const char* key : kKeys)
            checksum += std::string(ini.GetValue(s.pItem, key, "")).size();
    }
}

void SimpleIniSave(const std::string& path, CSimpleIniCaseA& ini)
{
    // The same rewrite the store does: every server section erased, then written again key by key.
    CSimpleIniCaseA::TNamesDepend sections;
    ini.GetAllSections(sections);
    sections.sort(CSimpleIniCaseA::Entry::LoadOrder());
    std::vector<std::string> names;
    for (const auto& s : sections)
        if (!EqualNames(s.pItem, "Main"))
            names.emplace_back(s.pItem);
    std::vector<std::vector<std::string>> values;
    for (const auto& n : names) {
        values.emplace_back();
        for (const char* key : kKeys)
            values.back().emplace_back(ini.GetValue(n.c_str(), key, ""));
    }
    for (const auto& n : names)
        ini.Delete(n.c_str(), nullptr);
    for (std::size_t i = 0; i < names.size(); ++i)
        for (std::size_t k = 0; k < std::size(kKeys); ++k)
            if (!values[i][k].empty())
                ini.SetValue(names[i].c_str(), kKeys[k], values[i][k].c_str());
    ini.SaveFile(path.c_str());
}

} // namespace

int main()
{
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("korvan-bench-ini-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    std::printf("%-8s %-22s %12s %12s %8s\n", "servers", "operation", "Korvan ms", "SimpleIni ms", "ratio");
    for (int count : {1000, 10000}) {
        const std::string text = MakeFile(count);
        const std::string ours = (dir / ("korvan-" + std::to_string(count) + ".ini")).string();
        const std::string theirs = (dir / ("simpleini-" + std::to_string(count) + ".ini")).string();
        platform::ReplaceFileAtomically(ours, text);
        platform::ReplaceFileAtomically(theirs, text);
        IniPath = ours;

        double ourLoad = MedianMs([] {
            Servers.clear();
            LoadServers();
        });
        double ourSave = MedianMs([] { SaveServers(); });
        std::size_t checksum = 0;
        CSimpleIniCaseA ini;
        double theirLoad = MedianMs([&] { SimpleIniLoad(theirs, ini, checksum); });
        double theirSave = MedianMs([&] { SimpleIniSave(theirs, ini); });

        std::printf("%-8d %-22s %12.2f %12.2f %8.2f\n", count, "load", ourLoad, theirLoad, ourLoad / theirLoad);
        std::printf("%-8d %-22s %12.2f %12.2f %8.2f\n", count, "save (Korvan: fsync'd)", ourSave, theirSave,
                    ourSave / theirSave);
        if (Servers.size() != static_cast<std::size_t>(count) || checksum == 0)
            std::printf("  (unexpected: %zu servers loaded)\n", Servers.size());
    }
    fs::remove_all(dir);
    return 0;
}
