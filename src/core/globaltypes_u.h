// The server record and the process-wide state every layer of the program shares.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

// Probe state of a server (TServer::Status).
enum TServerStatus : std::uint8_t
{
    ssChecking = 0,
    ssOffline = 1,
    ssOnline = 2,
};

// News state of a server (TServer::RSSState).
enum TRSSState : std::uint8_t
{
    rssNotSet = 0,
    rssNotLoaded = 1,
    rssLoading = 2,
    rssFailed = 3,
    rssLoaded = 4,
};

// A server's news: one complete HTML page per item, in channel order.
using TRSSDataList = std::vector<std::string>;

// Ping value of an entry that was just loaded, added or asked to be probed.
inline constexpr std::int32_t kPingReset = 0;
// Ping value when there is no round-trip time to show.
inline constexpr std::int32_t kPingNone = -1;

// Every member has an initializer, so a designated initializer may name only the values it sets.
struct TServer
{
    std::string Name{};
    std::string Address{};
    std::string Comments{};
    std::string Preloader{};
    std::string AltPath{};
    std::string Patchlist{};
    std::string Website{};
    std::uint8_t Status = ssChecking;
    std::int32_t Ping = kPingReset;
    bool Deleted = false;
    std::uint8_t ServerType = 0;
    bool AutoCacheClear = false;
    std::uint8_t RSSState = rssNotLoaded;
    TRSSDataList RSSData{};
    std::string RSSUrl{};
    // Identity that follows the entry when the array is reordered; background work (probes, news)
    // hands its results back by it, so a result lands on the server it was started for.
    std::uint64_t Id = 0;
    // How the game of this server starts under Wine; each empty when the server names none. The Wine
    // command line used instead of the settings' one, the prefix folder (WINEPREFIX), extra variables as
    // "NAME=value" pairs separated by ";", and arguments appended to the game's command line.
    std::string WineCommand{};
    std::string WinePrefix{};
    std::string Environment{};
    std::string GameArguments{};
};

// Full path of tavix.ini: the executable's folder followed by the file name.
extern std::string IniPath;
inline constexpr const char* kIniFileName = "tavix.ini";
inline constexpr const char* kLockFileName = "tavix.lck";

// Start-up and shut-down flags of the main window.
extern bool FirstShow;
extern bool FirstIdle;
// Set when the main window starts closing; background work reads it, hence atomic.
extern std::atomic<bool> AppClosing;

inline constexpr const char* kApplicationTitle = "Korvan II";
inline constexpr const char* kSingleInstanceName = "tavix2";
