// The server list: the process-wide array of servers and its store in tavix.ini.
#pragma once

#include "core/globaltypes_u.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

inline constexpr int kServerTypeCount = 6;
// How long a load waits for another copy's save to finish before reading anyway.
inline constexpr int kLockWaitMs = 10000;
inline constexpr const char* kSettingsSection = "Main";

// Live entries first, in list order, then the removed ones. Main thread only.
extern std::vector<TServer> Servers;
extern std::array<std::string, kServerTypeCount> ServerTypeNames;

// False for a name that tavix.ini cannot give back as itself (empty, blanks at either end, a line break)
// and for "main" in any letter case, the settings' section. AddServer refuses such names.
bool IsStorableServerName(const std::string& Name);
// Appends an entry with the values a user edits (name, address, comments, preloader, own game, patch list,
// site, type, cache clearing, news channel, announcements) taken from `values`; its probe and news state start afresh
// and it gets an identity of its own, whatever `values` holds there. False for a name already listed or one
// IsStorableServerName refuses.
bool AddServer(const TServer& values);
// Gives the live entry named `values.Name` the values a user edits; its probe and news state stay. False
// when no entry has that name.
bool ChangeServer(const TServer& values);
bool RemoveServer(const std::string& Name);
int FindServer(const std::string& Name);
bool ServerExists(const std::string& Name);
bool SwapServers(int a, int b);
void CompactServers();
std::vector<std::string> GetServerNames();

// Index of the entry with that identity, or -1 when there is none.
int IndexOfServerId(std::uint64_t id);
// The identity no entry has: what a view holds when it shows no server.
inline constexpr std::uint64_t kNoServerId = 0;
// The entry with that identity in `servers`, a removed one waiting for the save included; null when there
// is none or for kNoServerId. Background work and views hold servers by identity and find them again
// with this.
TServer* ServerById(std::vector<TServer>& servers, std::uint64_t id);
const TServer* ServerById(const std::vector<TServer>& servers, std::uint64_t id);
// The same in Servers.
TServer* ServerById(std::uint64_t id);
// As ServerById, but null for a removed entry too: what a user's command may act on.
TServer* LiveServerById(std::uint64_t id);
// The entry at `index` of Servers (a row of the list), or null when the index is outside the array.
TServer* ServerAt(int index);

// Called between looks at the lock file while a load waits for another copy's save; the window
// passes a step that keeps itself responsive. Without one the wait just sleeps.
using TWaitStep = std::function<void()>;
bool LoadServers(const TWaitStep& waitStep = {});
bool SaveServers();
std::string LockPath();
