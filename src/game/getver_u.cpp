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
    if (!platform::FileExists(path))
        return FillText(TTextId::FileNotFound, {path});
    auto resource = ReadFileVersionResource(path);
    if (!resource || !IsGameProductName(resource->ProductName))
        return Msg(TTextId::NotTheGame);
    TGameVersion v = VersionOf(*resource);
    std::string text = std::to_string(v.major) + "." + std::to_string(v.minor) + "." + std::to_string(v.release);
    return FillText(TTextId::GameVersion, {text, std::to_string(v.build)});
}
