// The realm list line of the game's own settings file, WTF/Config.wtf: clients from version 4 on read the
// realm list there and ignore realmlist.wtf; older ones keep a stale copy of it there.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

inline constexpr const char* kConfigFolderName = "WTF";
inline constexpr const char* kConfigFileName = "Config.wtf";
// Clients from this major version on take the realm list from Config.wtf.
inline constexpr std::uint16_t kConfigRealmListMajor = 4;
// The client's own file holds a few kilobytes; anything past this is refused, never read whole.
inline constexpr std::uint64_t kMaxConfigFileSize = 4 * 1024 * 1024;

// A line (without its line end) that sets the realm list, as the client reads it: blanks allowed in front,
// "SET" and "realmList" in any letter case, blanks between them, and the name ending there.
bool IsRealmListLine(std::string_view line);
bool HasRealmListLine(std::string_view content);

// `content` with every realm list line set to `address`, or with one put in front when there is none. The
// client runs every SET line in turn, so a stale line left further down would win: all of them get the
// address. Every other byte stays: other lines, line ends (CR LF or LF), a missing last line end, a byte
// order mark (the new line goes after it). Nothing when `address` cannot stand in a quoted value (a quote
// or a control character), or the file is UTF-16, where a line of single bytes would break it.
std::optional<std::string> WithRealmList(std::string_view content, std::string_view address);

// True when the client at `gamePath` reads its realm list from Config.wtf.
bool ClientReadsConfigRealmList(const std::string& gamePath);

// Points WTF/Config.wtf of the game at `gamePath` to `address`: for a client that reads it there, or when
// the file already holds a realm list line. A client that reads it gets the WTF folder and the file made
// when they are missing. The file is replaced by the rules of ReplaceGameFile (links, permissions) and is
// not touched when it already says so. False when it had to be written and could not be: unreadable, too
// large, not a file, read-only, or an address that cannot be written.
bool UpdateConfigRealmList(const std::string& gamePath, const std::string& address);
