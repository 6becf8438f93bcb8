#include "update/updatelist.h"

#include "buildconfig.h"
#include "core/ini.h"
#include "update/signature.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

const TVersion ProgramVersion{KORVAN_VERSION_MAJOR, KORVAN_VERSION_MINOR, KORVAN_VERSION_RELEASE, KORVAN_VERSION_BUILD};

namespace {
bool selfUpdateEnabled = true;
std::string updatePublicKey;
} // namespace

void SetSelfUpdateEnabled(bool enabled)
{
    selfUpdateEnabled = enabled;
}

void SetUpdatePublicKey(std::string keyLine)
{
    updatePublicKey = std::move(keyLine);
}

const std::string& UpdatePublicKey()
{
    return updatePublicKey;
}

TUpdateOffer UpdateOffer()
{
    if (!selfUpdateEnabled)
        return TUpdateOffer::ByPackageManager;
    if (!ParseMinisignKey(updatePublicKey))
        return TUpdateOffer::NoKey;
    return TUpdateOffer::Offered;
}

bool SelfUpdateEnabled()
{
    return UpdateOffer() == TUpdateOffer::Offered;
}

namespace {

constexpr int kVersionLineCount = 4;
constexpr std::int32_t kVersionPartMax = 255;
constexpr const char* kListPathBefore = "/download/update/";
constexpr const char* kListPathAfter = "/update.txt";

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

std::string Trimmed(std::string_view text)
{
    // Control characters count as blanks too, as the Windows edition's trim has it.
    while (!text.empty() && static_cast<unsigned char>(text.front()) <= ' ')
        text.remove_prefix(1);
    while (!text.empty() && static_cast<unsigned char>(text.back()) <= ' ')
        text.remove_suffix(1);
    return std::string(text);
}

bool IsIgnoredLine(const std::string& line)
{
    if (!line.empty() && line.front() == ';')
        return true;
    for (char c : line)
        if (!IsBlank(c))
            return false;
    return true;
}

// Written as a number, whether or not it fits 32 bits.
bool LooksNumeric(std::string_view text)
{
    auto digits = [](std::string_view rest, bool hex) {
        return !rest.empty() && std::all_of(rest.begin(), rest.end(), [hex](char c) {
            return (c >= '0' && c <= '9') || (hex && ((c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')));
        });
    };
    if (!text.empty() && text.front() == '$')
        return digits(text.substr(1), true);
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        return digits(text.substr(2), true);
    if (!text.empty() && (text.front() == '-' || text.front() == '+'))
        text.remove_prefix(1);
    return digits(text, false);
}

// Nothing when the number does not fit a byte; a line that is no number at all counts as 0.
std::optional<std::uint8_t> VersionPart(const std::string& line)
{
    const std::string text = Trimmed(line);
    std::int32_t value = 0;
    if (!ParseIniInteger(text, value))
        return LooksNumeric(text) ? std::nullopt : std::optional<std::uint8_t>(0);
    if (value < 0 || value > kVersionPartMax)
        return std::nullopt;
    return static_cast<std::uint8_t>(value);
}

} // namespace

std::uint32_t VersionNumber(const TVersion& version)
{
    return (std::uint32_t{version.Major} << 24) | (std::uint32_t{version.Minor} << 16) |
           (std::uint32_t{version.Release} << 8) | std::uint32_t{version.Build};
}

bool IsNewerVersion(const TVersion& published, const TVersion& own)
{
    return VersionNumber(published) > VersionNumber(own);
}

std::string VersionText(const TVersion& version)
{
    char text[16];
    std::snprintf(text, sizeof text, "%u.%.2u.%u", unsigned{version.Major}, unsigned{version.Minor},
                  unsigned{version.Release});
    return text;
}

std::optional<TVersion> VersionFromAnswer(std::string_view answer)
{
    std::string text = Trimmed(answer);
    const auto space = text.find_last_of(" \t\r\n");
    if (space != std::string::npos)
        text.erase(0, space + 1);
    std::uint8_t parts[3] = {};
    std::size_t at = 0;
    for (int i = 0; i < 3; ++i) {
        const std::size_t end = i < 2 ? text.find('.', at) : text.size();
        if (end == std::string::npos || end == at || end - at > 3)
            return std::nullopt;
        unsigned value = 0;
        for (std::size_t k = at; k < end; ++k) {
            if (text[k] < '0' || text[k] > '9')
                return std::nullopt;
            value = value * 10 + static_cast<unsigned>(text[k] - '0');
        }
        if (value > static_cast<unsigned>(kVersionPartMax))
            return std::nullopt;
        parts[i] = static_cast<std::uint8_t>(value);
        at = end + 1;
    }
    TVersion version{parts[0], parts[1], parts[2], 0};
    // Only what VersionText writes: "2.6.3" or "2.006.3" are not this program's way of saying 2.06.3.
    if (VersionText(version) != text)
        return std::nullopt;
    return version;
}

std::optional<TUpdateInfo> ParseUpdateList(const std::vector<std::string>& lines)
{
    std::vector<const std::string*> usable;
    usable.reserve(lines.size());
    for (const std::string& line : lines)
        if (!IsIgnoredLine(line))
            usable.push_back(&line);
    if (usable.size() < kVersionLineCount)
        return std::nullopt;

    std::optional<std::uint8_t> parts[kVersionLineCount];
    for (int i = 0; i < kVersionLineCount; ++i) {
        parts[i] = VersionPart(*usable[i]);
        if (!parts[i])
            return std::nullopt;
    }
    TUpdateInfo info;
    info.Version = {*parts[0], *parts[1], *parts[2], *parts[3]};
    for (std::size_t i = kVersionLineCount; i + 1 < usable.size(); i += 2)
        info.Files.push_back({Trimmed(*usable[i]), Trimmed(*usable[i + 1])});
    return info;
}

std::string UpdateListUrl(std::string_view baseAddress, std::string_view languageCode)
{
    std::string base = Trimmed(baseAddress);
    while (!base.empty() && base.back() == '/')
        base.pop_back();
    if (base.empty())
        return {};
    return base + kListPathBefore + std::string(languageCode) + kListPathAfter;
}

std::string UpdateBaseAddress()
{
    if (const char* address = std::getenv(kUpdateUrlVariable))
        return address;
    return KORVAN_UPDATE_URL;
}
