#include "game/peversion.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>
#include <vector>

namespace {

constexpr std::uint16_t kDosMagic = 0x5A4D;    // "MZ"
constexpr std::uint32_t kPeMagic = 0x00004550; // "PE\0\0"
constexpr std::uint64_t kLfanewOffset = 0x3C;
constexpr std::size_t kDosHeaderSize = 0x40;
constexpr std::size_t kCoffHeaderSize = 20;
constexpr std::uint16_t kPe32Magic = 0x10B;
constexpr std::uint16_t kPe32PlusMagic = 0x20B;
// Offsets in the optional header of the data-directory count and of the directories themselves.
constexpr std::size_t kPe32DirCountOffset = 92;
constexpr std::size_t kPe32PlusDirCountOffset = 108;
constexpr std::size_t kDataDirSize = 8;
constexpr std::uint32_t kResourceDirIndex = 2;
constexpr std::size_t kSectionHeaderSize = 40;
// The Windows loader refuses more sections than this; it also bounds the work on a hostile file.
constexpr std::uint32_t kMaxSections = 96;

constexpr std::size_t kResDirHeaderSize = 16;
constexpr std::size_t kResDirEntrySize = 8;
constexpr std::size_t kResDataEntrySize = 16;
constexpr std::uint32_t kResSubdirFlag = 0x80000000u;
constexpr std::uint32_t kResNameFlag = 0x80000000u;
constexpr std::uint32_t kRtVersion = 16;
constexpr std::uint32_t kVsVersionInfoId = 1;

constexpr std::uint32_t kFixedInfoSignature = 0xFEEF04BD;
constexpr std::size_t kFixedInfoSize = 52;
constexpr std::size_t kBlockHeaderSize = 6;

std::uint16_t U16(const unsigned char* p)
{
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

std::uint32_t U32(const unsigned char* p)
{
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

std::size_t Align4(std::size_t n)
{
    return (n + 3) & ~static_cast<std::size_t>(3);
}

struct TSection
{
    std::uint32_t va, virtualSize, rawSize, rawPointer;
};

// Addresses in the image (RVAs) turned into file offsets through the section table.
class TImage
{
public:
    explicit TImage(const TByteSource& source) : source_(source) {}

    bool Load()
    {
        unsigned char dos[kDosHeaderSize];
        if (!source_.ReadAt(0, dos, sizeof dos) || U16(dos) != kDosMagic)
            return false;
        std::uint64_t pe = U32(dos + kLfanewOffset);
        unsigned char head[4 + kCoffHeaderSize];
        if (!source_.ReadAt(pe, head, sizeof head) || U32(head) != kPeMagic)
            return false;
        std::uint32_t sectionCount = U16(head + 4 + 2);
        std::uint32_t optSize = U16(head + 4 + 16);
        if (sectionCount == 0 || sectionCount > kMaxSections)
            return false;

        std::array<unsigned char, 2> magicBytes;
        std::uint64_t opt = pe + sizeof head;
        if (optSize < magicBytes.size() || !source_.ReadAt(opt, magicBytes.data(), magicBytes.size()))
            return false;
        std::uint16_t magic = U16(magicBytes.data());
        std::size_t countOffset;
        if (magic == kPe32Magic)
            countOffset = kPe32DirCountOffset;
        else if (magic == kPe32PlusMagic)
            countOffset = kPe32PlusDirCountOffset;
        else
            return false;
        std::size_t dirOffset = countOffset + 4 + kResourceDirIndex * kDataDirSize;
        if (optSize < dirOffset + kDataDirSize)
            return false;
        unsigned char count[4], dir[kDataDirSize];
        if (!source_.ReadAt(opt + countOffset, count, sizeof count) || U32(count) <= kResourceDirIndex ||
            !source_.ReadAt(opt + dirOffset, dir, sizeof dir))
            return false;
        resourceRva_ = U32(dir);
        if (resourceRva_ == 0 || U32(dir + 4) == 0)
            return false;

        std::uint64_t table = opt + optSize;
        sections_.reserve(sectionCount);
        for (std::uint32_t i = 0; i < sectionCount; ++i) {
            unsigned char s[kSectionHeaderSize];
            if (!source_.ReadAt(table + static_cast<std::uint64_t>(i) * kSectionHeaderSize, s, sizeof s))
                return false;
            sections_.push_back({U32(s + 12), U32(s + 8), U32(s + 16), U32(s + 20)});
        }
        return true;
    }

    // Reads `length` bytes at an image address; they must lie in one section's data in the file.
    bool Read(std::uint64_t rva, void* buffer, std::size_t length) const
    {
        for (const TSection& s : sections_) {
            if (rva < s.va || rva - s.va >= s.rawSize)
                continue;
            std::uint64_t inSection = rva - s.va;
            if (length > s.rawSize - inSection)
                return false;
            return source_.ReadAt(s.rawPointer + inSection, buffer, length);
        }
        return false;
    }

    // Bytes available from an image address to the end of its section's data in the file.
    std::uint64_t Available(std::uint64_t rva) const
    {
        for (const TSection& s : sections_)
            if (rva >= s.va && rva - s.va < s.rawSize)
                return s.rawSize - (rva - s.va);
        return 0;
    }

    std::uint32_t ResourceRva() const { return resourceRva_; }

private:
    const TByteSource& source_;
    std::vector<TSection> sections_;
    std::uint32_t resourceRva_ = 0;
};

struct TDirEntryRef
{
    std::uint32_t name, target;
};

// The entries of the resource directory at `offset` (relative to the resource root).
bool ReadResourceDir(const TImage& image, std::uint32_t offset, std::vector<TDirEntryRef>& entries)
{
    entries.clear();
    unsigned char head[kResDirHeaderSize];
    std::uint64_t at = static_cast<std::uint64_t>(image.ResourceRva()) + offset;
    if (!image.Read(at, head, sizeof head))
        return false;
    std::size_t count = static_cast<std::size_t>(U16(head + 12)) + U16(head + 14);
    std::vector<unsigned char> raw(count * kResDirEntrySize);
    if (count && !image.Read(at + kResDirHeaderSize, raw.data(), raw.size()))
        return false;
    for (std::size_t i = 0; i < count; ++i)
        entries.push_back({U32(&raw[i * kResDirEntrySize]), U32(&raw[i * kResDirEntrySize + 4])});
    return true;
}

// The first sub-directory entry with that id, else (with `anyId`) the first sub-directory entry.
std::optional<std::uint32_t> FindSubdir(const std::vector<TDirEntryRef>& entries, std::uint32_t id, bool anyId)
{
    for (const TDirEntryRef& e : entries)
        if (!(e.name & kResNameFlag) && e.name == id && (e.target & kResSubdirFlag))
            return e.target & ~kResSubdirFlag;
    if (anyId)
        for (const TDirEntryRef& e : entries)
            if (e.target & kResSubdirFlag)
                return e.target & ~kResSubdirFlag;
    return std::nullopt;
}

// The raw bytes of the RT_VERSION resource.
bool ReadVersionBytes(const TImage& image, std::vector<unsigned char>& bytes)
{
    std::vector<TDirEntryRef> entries;
    if (!ReadResourceDir(image, 0, entries))
        return false;
    auto names = FindSubdir(entries, kRtVersion, false);
    if (!names || !ReadResourceDir(image, *names, entries))
        return false;
    // The version reader asks for resource id 1; another id is taken only when that one is missing.
    auto languages = FindSubdir(entries, kVsVersionInfoId, true);
    if (!languages || !ReadResourceDir(image, *languages, entries))
        return false;
    const TDirEntryRef* data = nullptr;
    for (const TDirEntryRef& e : entries)
        if (!(e.target & kResSubdirFlag)) {
            data = &e;
            break;
        }
    if (!data)
        return false;
    unsigned char entry[kResDataEntrySize];
    if (!image.Read(static_cast<std::uint64_t>(image.ResourceRva()) + data->target, entry, sizeof entry))
        return false;
    std::uint32_t rva = U32(entry);
    std::uint64_t size = U32(entry + 4);
    size = std::min<std::uint64_t>({size, kMaxVersionResourceSize, image.Available(rva)});
    if (size < kBlockHeaderSize)
        return false;
    bytes.resize(static_cast<std::size_t>(size));
    return image.Read(rva, bytes.data(), bytes.size());
}

// One node of the version resource's tree: header, key, value, children.
struct TBlock
{
    std::size_t begin = 0, end = 0;
    std::uint16_t valueLength = 0;
    std::uint16_t type = 0;
    std::u16string key;
    std::size_t valueBegin = 0;
    std::size_t childrenBegin = 0;
};

std::optional<TBlock> ParseBlock(const std::vector<unsigned char>& data, std::size_t begin, std::size_t limit)
{
    if (begin + kBlockHeaderSize > limit)
        return std::nullopt;
    TBlock b;
    std::size_t length = U16(&data[begin]);
    if (length < kBlockHeaderSize || length > limit - begin)
        return std::nullopt;
    b.begin = begin;
    b.end = begin + length;
    b.valueLength = U16(&data[begin + 2]);
    b.type = U16(&data[begin + 4]);
    std::size_t p = begin + kBlockHeaderSize;
    for (;;) {
        if (p + 2 > b.end)
            return std::nullopt;
        char16_t c = static_cast<char16_t>(U16(&data[p]));
        p += 2;
        if (c == 0)
            break;
        b.key.push_back(c);
    }
    b.valueBegin = std::min(b.end, begin + Align4(p - begin));
    return b;
}

// Children follow the value; `valueBytes` is how many bytes the value takes.
std::size_t ChildrenBegin(const TBlock& b, std::size_t valueBytes)
{
    return std::min(b.end, b.begin + Align4(b.valueBegin + valueBytes - b.begin));
}

template <typename Visit> void ForEachChild(const std::vector<unsigned char>& data, const TBlock& parent, Visit visit)
{
    std::size_t p = parent.childrenBegin;
    while (p < parent.end) {
        auto child = ParseBlock(data, p, parent.end);
        if (!child)
            return;
        if (!visit(*child))
            return;
        p = child->begin + Align4(child->end - child->begin);
    }
}

bool KeyIs(const std::u16string& key, std::string_view name)
{
    if (key.size() != name.size())
        return false;
    for (std::size_t i = 0; i < key.size(); ++i) {
        char16_t a = key[i];
        char b = name[i];
        if (a >= u'a' && a <= u'z')
            a = static_cast<char16_t>(a - u'a' + u'A');
        if (b >= 'a' && b <= 'z')
            b = static_cast<char>(b - 'a' + 'A');
        if (a != static_cast<char16_t>(static_cast<unsigned char>(b)))
            return false;
    }
    return true;
}

std::string TranslationKey(std::uint32_t translation)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::uint32_t keyValue = ((translation & 0xFFFFu) << 16) | (translation >> 16); // language, then code page
    std::string key(8, '0');
    for (int i = 7; i >= 0; --i, keyValue >>= 4)
        key[static_cast<std::size_t>(i)] = kHex[keyValue & 0xF];
    return key;
}

} // namespace

bool TMemorySource::ReadAt(std::uint64_t offset, void* buffer, std::size_t length) const
{
    if (offset > size_ || length > size_ - offset)
        return false;
    if (length)
        std::memcpy(buffer, data_ + offset, length);
    return true;
}

std::optional<TVersionResource> ReadVersionResource(const TByteSource& source)
{
    TImage image(source);
    std::vector<unsigned char> data;
    if (!image.Load() || !ReadVersionBytes(image, data))
        return std::nullopt;

    auto root = ParseBlock(data, 0, data.size());
    if (!root || !KeyIs(root->key, "VS_VERSION_INFO") || root->valueLength < kFixedInfoSize ||
        root->valueBegin + kFixedInfoSize > root->end)
        return std::nullopt;
    const unsigned char* fixed = &data[root->valueBegin];
    if (U32(fixed) != kFixedInfoSignature)
        return std::nullopt;
    TVersionResource result;
    result.FileVersionMS = U32(fixed + 8);
    result.FileVersionLS = U32(fixed + 12);
    root->childrenBegin = ChildrenBegin(*root, root->valueLength);

    // The first translation names the string table; without a translation list the first table is used.
    std::optional<std::uint32_t> translation;
    std::vector<TBlock> stringTables;
    ForEachChild(data, *root, [&](TBlock& info) {
        if (KeyIs(info.key, "VarFileInfo")) {
            info.childrenBegin = ChildrenBegin(info, info.valueLength);
            ForEachChild(data, info, [&](const TBlock& var) {
                if (KeyIs(var.key, "Translation") && var.valueLength >= 4 && var.valueBegin + 4 <= var.end) {
                    translation = U32(&data[var.valueBegin]);
                    return false;
                }
                return true;
            });
        } else if (KeyIs(info.key, "StringFileInfo")) {
            info.childrenBegin = ChildrenBegin(info, info.valueLength);
            ForEachChild(data, info, [&](TBlock& table) {
                table.childrenBegin = ChildrenBegin(table, table.valueLength);
                stringTables.push_back(table);
                return true;
            });
        }
        return true;
    });

    const TBlock* table = nullptr;
    if (translation) {
        std::string key = TranslationKey(*translation);
        for (const TBlock& t : stringTables)
            if (KeyIs(t.key, key)) {
                table = &t;
                break;
            }
    } else if (!stringTables.empty()) {
        table = &stringTables.front();
    }
    if (table)
        ForEachChild(data, *table, [&](const TBlock& str) {
            if (!KeyIs(str.key, "ProductName"))
                return true;
            result.HasProductName = true;
            // The value runs to its terminator or the end of the block, whatever its length field says.
            for (std::size_t p = str.valueBegin; p + 2 <= str.end; p += 2) {
                char16_t c = static_cast<char16_t>(U16(&data[p]));
                if (c == 0)
                    break;
                result.ProductName.push_back(c);
            }
            return false;
        });
    return result;
}
