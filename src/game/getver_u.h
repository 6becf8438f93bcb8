// Which version of the game client an executable is, and whether it is the game at all.
#pragma once

#include "game/peversion.h"

#include <cstdint>
#include <string>

struct TGameVersion
{
    std::uint16_t major = 0;
    std::uint16_t minor = 0;
    std::uint16_t release = 0;
    std::uint16_t build = 0;
};

inline constexpr const char* kGameProductName = "WORLD OF WARCRAFT";
// Game versions from this major number on keep realmlist.wtf in a locale folder under Data.
inline constexpr std::uint16_t kLocaleFolderMajor = 3;

// The game test: the product name's first characters, upper-cased (a-z), equal the game's name.
bool IsGameProductName(const std::u16string& productName);

// The four numbers of the fixed file information's file version.
TGameVersion VersionOf(const TVersionResource& resource);

// The version resource of a file on disk; none for a missing file, a non-PE file or a damaged one.
std::optional<TVersionResource> ReadFileVersionResource(const std::string& path);

// True when the file exists and is the game; `version` is then filled, else left untouched.
bool GetGameVersion(const std::string& path, TGameVersion& version);

// The one message ShowGameVersion shows for that file: 1030, 1031 or 1032, formatted.
std::string GameVersionMessage(const std::string& path);
