#include "game/getver_u.h"

#include "core/localization_u.h"
#include "platform/files.h"
#include "platform/gamefs.h"

#include <cstring>

namespace {

class TFileSource : public TByteSource
{
public:
    explicit TFileSource(const platform::TReadOnlyFile& file) : file_(file) {}
    std::uint64_t Size() const override { return file_.Size(); }
    bool ReadAt(std::uint64_t offset, void* buffer, std::size_t length) const override
    {
        return file_.ReadAt(offset, buffer, length);
    }

private:
    const platform::TReadOnlyFile& file_;
};

// Replaces the first "%s" of `format` with `value`; the texts come from the table, so no printf on them.
std::string FormatOne(const std::string& format, const std::string& value, std::size_t& from)
{
    std::size_t at = format.find("%s", from);
    if (at == std::string::npos) {
        from = std::string::npos;
        return format;
    }
    from = at + value.size();
    return format.substr(0, at) + value + format.substr(at + 2);
}

} // namespace

bool IsGameProductName(const std::u16string& productName)
{
    const std::size_t length = std::strlen(kGameProductName);
    if (productName.size() < length)
        return false;
    for (std::size_t i = 0; i < length; ++i) {
        char16_t c = productName[i];
        if (c >= u'a' && c <= u'z')
            c = static_cast<char16_t>(c - u'a' + u'A');
        if (c != static_cast<char16_t>(kGameProductName[i]))
            return false;
    }
    return true;
}

TGameVersion VersionOf(const TVersionResource& resource)
{
    TGameVersion v;
    v.major = static_cast<std::uint16_t>(resource.FileVersionMS >> 16);
    v.minor = static_cast<std::uint16_t>(resource.FileVersionMS & 0xFFFF);
    v.release = static_cast<std::uint16_t>(resource.FileVersionLS >> 16);
    v.build = static_cast<std::uint16_t>(resource.FileVersionLS & 0xFFFF);
    return v;
}

std::optional<TVersionResource> ReadFileVersionResource(const std::string& path)
{
    platform::TReadOnlyFile file;
    if (!file.Open(path))
        return std::nullopt;
    return ReadVersionResource(TFileSource(file));
}

bool GetGameVersion(const std::string& path, TGameVersion& version)
{
    if (!platform::FileExists(path))
        return false;
    auto resource = ReadFileVersionResource(path);
    if (!resource || !IsGameProductName(resource->ProductName))
        return false;
    version = VersionOf(*resource);
    return true;
}

std::string GameVersionMessage(const std::string& path)
{
    std::size_t from = 0;
    if (!platform::FileExists(path))
        return FormatOne(Msg(kMsgFileNotFound), path, from);
    auto resource = ReadFileVersionResource(path);
    if (!resource || !IsGameProductName(resource->ProductName))
        return Msg(kMsgNotTheGame);
    TGameVersion v = VersionOf(*resource);
    std::string text = std::to_string(v.major) + "." + std::to_string(v.minor) + "." + std::to_string(v.release);
    std::string message = FormatOne(Msg(kMsgGameVersion), text, from);
    if (from != std::string::npos)
        message = FormatOne(message, std::to_string(v.build), from);
    return message;
}
