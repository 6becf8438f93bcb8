// The update list the update server publishes, the program's own version, and whether this copy updates
// itself. Plain functions: the list is parsed and compared without any network.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Four bytes, as the list publishes a version.
struct TVersion
{
    std::uint8_t Major = 0;
    std::uint8_t Minor = 0;
    std::uint8_t Release = 0;
    std::uint8_t Build = 0;
};

// This build's version, from the build configuration.
extern const TVersion ProgramVersion;

// major * 2^24 + minor * 2^16 + release * 2^8 + build.
std::uint32_t VersionNumber(const TVersion& version);
// Strictly greater: an equal version is not newer, and the build byte counts though it is not shown.
bool IsNewerVersion(const TVersion& published, const TVersion& own = ProgramVersion);
// "2.06.3": the minor with at least two digits, the build left out.
std::string VersionText(const TVersion& version);

// The version a program gives in its answer to --version: its last word, as VersionText writes it (the
// build byte is not shown and reads 0). Nothing when the answer ends with no such word.
std::optional<TVersion> VersionFromAnswer(std::string_view answer);

struct TUpdateFile
{
    std::string Name; // the file's name in the program's folder, trimmed
    std::string URL;  // where to fetch it, trimmed
};

struct TUpdateInfo
{
    TVersion Version;
    std::vector<TUpdateFile> Files;
};

// Lines whose first character is ';' are comments; empty and blank-only lines are dropped. Of the rest,
// the first four are the version (integers as tavix.ini writes them; anything else counts as 0), then
// name and URL in pairs; a last odd line is ignored. Nothing when fewer than four lines remain, or when a
// version part lies outside 0..255: a list that means another version than it says is no list.
std::optional<TUpdateInfo> ParseUpdateList(const std::vector<std::string>& lines);

// Where the list of this edition lies under the update server's base address; empty when the base is.
std::string UpdateListUrl(std::string_view baseAddress, std::string_view languageCode);
// The base address this copy uses: the build's, unless the environment names another (for test runs
// against a local server).
std::string UpdateBaseAddress();
inline constexpr const char* kUpdateUrlVariable = "KORVAN_UPDATE_URL";

// Whether this copy updates itself. A copy in a folder it does not own (installed by a package) leaves
// updates to whoever installed it, and a build without the publisher's key could not tell a true list
// from a forged one: either way no scheduled check, no update window, no update start, and the menu's
// update item tells why. Set at start-up, before the main window is made.
void SetSelfUpdateEnabled(bool enabled);
// The key line of the publisher's minisign public key, fixed when the program is built; empty: none.
void SetUpdatePublicKey(std::string keyLine);
const std::string& UpdatePublicKey();
enum class TUpdateOffer
{
    Offered,
    ByPackageManager,
    NoKey,
};
TUpdateOffer UpdateOffer();
bool SelfUpdateEnabled();
