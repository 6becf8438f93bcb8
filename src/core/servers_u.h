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
bool AddServer(const std::string& Name, const std::string& Address, const std::string& Comments,
               const std::string& Preloader, const std::string& AltPath, const std::string& Patchlist,
               const std::string& Website, std::uint8_t ServerType, bool AutoCacheClear, const std::string& RSSUrl);
bool ChangeServer(const std::string& Name, const std::string& Address, const std::string& Comments,
                  const std::string& Preloader, const std::string& AltPath, const std::string& Patchlist,
                  const std::string& Website, std::uint8_t ServerType, bool AutoCacheClear, const std::string& RSSUrl);
bool RemoveServer(const std::string& Name);
int FindServer(const std::string& Name);
bool ServerExists(const std::string& Name);
bool SwapServers(int a, int b);
void CompactServers();
std::vector<std::string> GetServerNames();

// Index of the entry with that identity, or -1 when there is none.
int IndexOfServerId(std::uint64_t id);

// Called between looks at the lock file while a load waits for another copy's save; the window
// passes a step that keeps itself responsive. Without one the wait just sleeps.
using TWaitStep = std::function<void()>;
bool LoadServers(const TWaitStep& waitStep = {});
bool SaveServers();
std::string LockPath();
