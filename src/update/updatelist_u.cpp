#include "update/updatelist_u.h"

#include "buildconfig.h"
#include "core/ini_u.h"

#include <cstdio>
#include <cstdlib>

const TVersion ProgramVersion{KORVAN_VERSION_MAJOR, KORVAN_VERSION_MINOR, KORVAN_VERSION_RELEASE, KORVAN_VERSION_BUILD};

bool UpdateChecked = false;
bool UpdateFromBackground = false;
bool HaltAfterUpdate = false;

namespace {
bool selfUpdateEnabled = true;
}

void SetSelfUpdateEnabled(bool enabled)
{
    selfUpdateEnabled = enabled;
}

bool SelfUpdateEnabled()
{
    return selfUpdateEnabled;
}

namespace {

constexpr int kVersionLineCount = 4;
constexpr std::uint32_t kByteMask = 0xFF;
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

std::uint8_t VersionPart(const std::string& line)
{
    std::int32_t value = 0;
    if (!ParseIniInteger(Trimmed(line), value))
        value = 0;
    return static_cast<std::uint8_t>(static_cast<std::uint32_t>(value) & kByteMask);
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

std::optional<TUpdateInfo> ParseUpdateList(const std::vector<std::string>& lines)
{
    std::vector<const std::string*> usable;
    usable.reserve(lines.size());
    for (const std::string& line : lines)
        if (!IsIgnoredLine(line))
            usable.push_back(&line);
    if (usable.size() < kVersionLineCount)
        return std::nullopt;

    TUpdateInfo info;
    info.Version = {VersionPart(*usable[0]), VersionPart(*usable[1]), VersionPart(*usable[2]), VersionPart(*usable[3])};
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
