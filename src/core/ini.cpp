#include "core/ini.h"

#include "core/textcodec.h"
#include "platform/files.h"

#include <algorithm>

namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LEBom = "\xFF\xFE";
constexpr std::string_view kUtf16BEBom = "\xFE\xFF";
// Ctrl-Z, the old end-of-file mark, is a blank to the profile functions like space and tab.
constexpr std::string_view kBlanks = " \t\v\f\x1A";
constexpr std::string_view kLineBreaks = "\r\n";
constexpr char32_t kReplacement = 0xFFFD;
constexpr char32_t kSurrogateFirst = 0xD800;
constexpr char32_t kLowSurrogateFirst = 0xDC00;
constexpr char32_t kSurrogateLast = 0xDFFF;
constexpr char32_t kFirstSupplementary = 0x10000;
constexpr char32_t kLastCodePoint = 0x10FFFF;

std::string_view Trim(std::string_view s)
{
    auto b = s.find_first_not_of(kBlanks);
    if (b == std::string_view::npos)
        return {};
    auto e = s.find_last_not_of(kBlanks);
    return s.substr(b, e - b + 1);
}

char UpperChar(char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool IsQuote(char c)
{
    return c == '"' || c == '\'';
}

// A value read back loses its outer blanks and one enclosing pair of quotes; writing such a value
// inside an extra pair of double quotes makes it read back exactly as given.
std::string EncodeValue(std::string_view value)
{
    std::string v(value);
    // A line break would end the key's line and turn the rest into a stray line of the file.
    std::replace_if(
        v.begin(), v.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
    bool needsQuotes = !v.empty() && (kBlanks.find(v.front()) != std::string_view::npos ||
                                      kBlanks.find(v.back()) != std::string_view::npos ||
                                      (v.size() >= 2 && IsQuote(v.front()) && v.front() == v.back()));
    return needsQuotes ? '"' + v + '"' : v;
}

// Any code point up to U+10FFFF, a lone surrogate included, so that a UTF-16 file with an unpaired
// surrogate comes back unchanged after a save.
void AppendCodePoint(std::string& out, char32_t cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < kFirstSupplementary) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

std::string Utf16ToUtf8(std::string_view bytes, bool bigEndian)
{
    auto unitAt = [&](std::size_t i) -> char32_t {
        auto a = static_cast<unsigned char>(bytes[i]), b = static_cast<unsigned char>(bytes[i + 1]);
        return bigEndian ? (char32_t(a) << 8 | b) : (char32_t(b) << 8 | a);
    };
    std::string out;
    out.reserve(bytes.size());
    // A last odd byte is half a character and is dropped.
    const std::size_t units = bytes.size() / 2;
    for (std::size_t u = 0; u < units; ++u) {
        char32_t cp = unitAt(u * 2);
        if (cp >= kSurrogateFirst && cp < kLowSurrogateFirst && u + 1 < units) {
            char32_t low = unitAt((u + 1) * 2);
            if (low >= kLowSurrogateFirst && low <= kSurrogateLast) {
                cp = kFirstSupplementary + ((cp - kSurrogateFirst) << 10) + (low - kLowSurrogateFirst);
                ++u;
            }
        }
        AppendCodePoint(out, cp);
    }
    return out;
}

// Length of the UTF-8 sequence at `i` and its code point; 0 when the byte starts none (a byte of the
// legacy code page written into the document).
std::size_t DecodeAt(std::string_view s, std::size_t i, char32_t& cp)
{
    auto c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) {
        cp = c;
        return 1;
    }
    std::size_t len = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 && c < 0xE0 ? 2 : 0;
    if (len == 0 || c > 0xF4 || i + len > s.size())
        return 0;
    cp = c & (0x7F >> len);
    for (std::size_t k = 1; k < len; ++k) {
        auto t = static_cast<unsigned char>(s[i + k]);
        if ((t & 0xC0) != 0x80)
            return 0;
        cp = cp << 6 | (t & 0x3F);
    }
    // Overlong forms and values past the last code point are not UTF-8.
    if ((len == 3 && cp < 0x800) || (len == 4 && (cp < kFirstSupplementary || cp > kLastCodePoint)))
        return 0;
    return len;
}

std::string Utf8ToUtf16(std::string_view text, bool bigEndian)
{
    std::string out;
    out.reserve(text.size() * 2);
    auto put = [&](char32_t unit) {
        auto hi = static_cast<char>(unit >> 8), lo = static_cast<char>(unit & 0xFF);
        out += bigEndian ? hi : lo;
        out += bigEndian ? lo : hi;
    };
    for (std::size_t i = 0; i < text.size();) {
        char32_t cp = kReplacement;
        std::size_t len = DecodeAt(text, i, cp);
        if (len == 0) {
            std::string decoded = DecodeLegacy(text.substr(i, 1), EditionCodePage());
            if (decoded.empty() || DecodeAt(decoded, 0, cp) == 0)
                cp = kReplacement;
            len = 1;
        }
        i += len;
        if (cp >= kFirstSupplementary) {
            cp -= kFirstSupplementary;
            put(kSurrogateFirst + (cp >> 10));
            put(kLowSurrogateFirst + (cp & 0x3FF));
        } else {
            put(cp);
        }
    }
    return out;
}

} // namespace

std::string UpperAscii(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        c = UpperChar(c);
    return out;
}

bool EqualNames(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (UpperChar(a[i]) != UpperChar(b[i]))
            return false;
    return true;
}

bool IsStorableSectionName(std::string_view name)
{
    return !name.empty() && kBlanks.find(name.front()) == std::string_view::npos &&
           kBlanks.find(name.back()) == std::string_view::npos &&
           name.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

bool ParseIniInteger(std::string_view text, std::int32_t& value)
{
    std::string_view s = text;
    bool negative = false;
    if (!s.empty() && (s.front() == '-' || s.front() == '+')) {
        negative = s.front() == '-';
        s.remove_prefix(1);
    }
    bool hex = false;
    if (!s.empty() && s.front() == '$') {
        hex = true;
        s.remove_prefix(1);
    } else if (s.size() >= 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        hex = true;
        s.remove_prefix(2);
    }
    if (s.empty())
        return false;
    std::uint64_t acc = 0;
    for (char c : s) {
        unsigned digit;
        if (c >= '0' && c <= '9')
            digit = static_cast<unsigned>(c - '0');
        else if (hex && c >= 'a' && c <= 'f')
            digit = static_cast<unsigned>(c - 'a' + 10);
        else if (hex && c >= 'A' && c <= 'F')
            digit = static_cast<unsigned>(c - 'A' + 10);
        else
            return false;
        acc = acc * (hex ? 16 : 10) + digit;
        if (acc > 0xFFFFFFFFull)
            return false;
    }
    if (hex) {
        // Eight hex digits fill the 32 bits, so $FFFFFFFF is -1 as in the Windows edition.
        auto bits = static_cast<std::uint32_t>(acc);
        value = static_cast<std::int32_t>(negative ? 0u - bits : bits);
        return true;
    }
    if (acc > (negative ? 2147483648ull : 2147483647ull))
        return false;
    value = negative ? static_cast<std::int32_t>(-static_cast<std::int64_t>(acc)) : static_cast<std::int32_t>(acc);
    return true;
}

TIniFile::TIniFile() : lineEnd_(platform::NativeLineEnd()) {}

TIniFile::TIniFile(std::string path) : path_(std::move(path)), lineEnd_(platform::NativeLineEnd()) {}

bool TIniFile::Load()
{
    std::string data;
    bool missing = false;
    if (!platform::ReadWholeFile(path_, data, &missing)) {
        if (!missing)
            return false;
        data.clear();
    }
    LoadFromText(std::move(data));
    return true;
}

bool TIniFile::Save() const
{
    return platform::ReplaceFileAtomically(path_, ToText());
}

TIniFile::Line TIniFile::ParseLine(std::string_view text) const
{
    // A comment with an "=" answers a read of its key as any line does; only a listing leaves it out.
    Line line;
    line.text = text;
    auto eq = text.find('=');
    if (eq == std::string_view::npos)
        return line;
    std::string_view key = Trim(text.substr(0, eq));
    line.isKey = true;
    line.eq = static_cast<std::uint32_t>(eq);
    line.keyBegin = static_cast<std::uint32_t>(key.empty() ? eq : key.data() - text.data());
    line.keyEnd = line.keyBegin + static_cast<std::uint32_t>(key.size());
    return line;
}

void TIniFile::Index(std::size_t sectionIndex)
{
    // A header with no name opens a section that no read or write can address.
    if (sections_[sectionIndex].name.empty())
        return;
    byName_[UpperAscii(sections_[sectionIndex].name)].push_back(static_cast<std::uint32_t>(sectionIndex));
}

void TIniFile::LoadFromText(std::string text)
{
    owned_.clear();
    sections_.clear();
    byName_.clear();
    std::string_view raw = text;
    if (raw.substr(0, kUtf16LEBom.size()) == kUtf16LEBom) {
        encoding_ = Encoding::Utf16LE;
        text_ = Utf16ToUtf8(raw.substr(kUtf16LEBom.size()), false);
    } else if (raw.substr(0, kUtf16BEBom.size()) == kUtf16BEBom) {
        encoding_ = Encoding::Utf16BE;
        text_ = Utf16ToUtf8(raw.substr(kUtf16BEBom.size()), true);
    } else {
        encoding_ = raw.substr(0, kBom.size()) == kBom ? Encoding::Utf8Bom : Encoding::Bytes;
        text_ = std::move(text);
    }
    std::string_view all = text_;
    if (encoding_ == Encoding::Utf8Bom)
        all.remove_prefix(kBom.size());

    auto firstBreak = all.find_first_of(kLineBreaks);
    if (firstBreak == std::string_view::npos)
        lineEnd_ = platform::NativeLineEnd();
    else if (all[firstBreak] == '\n')
        lineEnd_ = "\n";
    else
        lineEnd_ = all.substr(firstBreak, 2) == "\r\n" ? "\r\n" : "\r";

    sections_.push_back(Section{}); // whatever stands before the first header
    while (!all.empty()) {
        auto cut = all.find_first_of(kLineBreaks);
        std::string_view line = all.substr(0, cut);
        if (cut == std::string_view::npos)
            all = {};
        else
            all.remove_prefix(cut + (all.substr(cut, 2) == "\r\n" ? 2 : 1));
        std::string_view trimmed = Trim(line);
        // "[" without a "]" after it is no header: the line belongs to the section above.
        auto close = trimmed.rfind(']');
        if (!trimmed.empty() && trimmed.front() == '[' && close != std::string_view::npos && close > 0) {
            Section s;
            s.name = Trim(trimmed.substr(1, close - 1));
            s.hasHeader = true;
            s.lines.push_back(Line{line});
            sections_.push_back(std::move(s));
            Index(sections_.size() - 1);
            continue;
        }
        sections_.back().lines.push_back(ParseLine(line));
    }
}

std::string TIniFile::ToText() const
{
    const bool utf8Bom = encoding_ == Encoding::Utf8Bom;
    std::size_t size = utf8Bom ? kBom.size() : 0;
    for (const Section& s : sections_)
        if (!s.erased)
            for (const Line& l : s.lines)
                size += l.text.size() + lineEnd_.size();
    std::string out;
    out.reserve(size);
    if (utf8Bom)
        out += kBom;
    for (const Section& s : sections_) {
        if (s.erased)
            continue;
        for (const Line& l : s.lines) {
            out += l.text;
            out += lineEnd_;
        }
    }
    if (encoding_ == Encoding::Utf16LE)
        return std::string(kUtf16LEBom) + Utf8ToUtf16(out, false);
    if (encoding_ == Encoding::Utf16BE)
        return std::string(kUtf16BEBom) + Utf8ToUtf16(out, true);
    return out;
}

std::string_view TIniFile::Own(std::string text)
{
    owned_.push_back(std::move(text));
    return owned_.back();
}

TIniFile::Section* TIniFile::FindSection(std::string_view name)
{
    return const_cast<Section*>(static_cast<const TIniFile*>(this)->FindSection(name));
}

const TIniFile::Section* TIniFile::FindSection(std::string_view name) const
{
    auto it = byName_.find(UpperAscii(name));
    if (it == byName_.end() || it->second.empty())
        return nullptr;
    return &sections_[it->second.front()];
}

const TIniFile::Line* TIniFile::FindKey(const Section& s, std::string_view key) const
{
    for (const Line& l : s.lines)
        if (l.isKey && EqualNames(l.text.substr(l.keyBegin, l.keyEnd - l.keyBegin), key))
            return &l;
    return nullptr;
}

std::vector<std::string> TIniFile::SectionNames() const
{
    std::vector<std::string> names;
    names.reserve(sections_.size());
    for (const Section& s : sections_)
        if (s.hasHeader && !s.erased && !s.name.empty())
            names.emplace_back(s.name);
    return names;
}

bool TIniFile::IsListedKey(const Line& l)
{
    return l.isKey && l.keyEnd > l.keyBegin && l.text[l.keyBegin] != ';';
}

std::vector<std::string> TIniFile::KeyNames(std::string_view section) const
{
    std::vector<std::string> names;
    if (const Section* s = FindSection(section))
        for (const Line& l : s->lines)
            if (IsListedKey(l))
                names.emplace_back(l.text.substr(l.keyBegin, l.keyEnd - l.keyBegin));
    return names;
}

bool TIniFile::SectionExists(std::string_view section) const
{
    const Section* s = FindSection(section);
    return s && std::any_of(s->lines.begin(), s->lines.end(), IsListedKey);
}

std::optional<std::string> TIniFile::Read(std::string_view section, std::string_view key) const
{
    const Section* s = FindSection(section);
    const Line* l = s ? FindKey(*s, key) : nullptr;
    if (!l)
        return std::nullopt;
    std::string_view v = Trim(l->text.substr(l->eq + 1));
    if (v.size() >= 2 && IsQuote(v.front()) && v.front() == v.back())
        v = v.substr(1, v.size() - 2);
    return std::string(v.substr(0, kIniMaxValueLength));
}

std::string TIniFile::ReadString(std::string_view section, std::string_view key, std::string_view def) const
{
    auto v = Read(section, key);
    return v ? std::move(*v) : std::string(def);
}

std::int32_t TIniFile::ReadInteger(std::string_view section, std::string_view key, std::int32_t def) const
{
    auto v = Read(section, key);
    std::int32_t out;
    return (v && ParseIniInteger(*v, out)) ? out : def;
}

bool TIniFile::ReadBool(std::string_view section, std::string_view key, bool def) const
{
    return ReadInteger(section, key, def ? 1 : 0) != 0;
}

void TIniFile::WriteString(std::string_view section, std::string_view key, std::string_view value)
{
    Section* s = FindSection(section);
    if (!s) {
        Section fresh;
        fresh.hasHeader = true;
        std::string_view header = Own("[" + std::string(section) + "]");
        fresh.name = header.substr(1, section.size());
        fresh.lines.push_back(Line{header});
        sections_.push_back(std::move(fresh));
        Index(sections_.size() - 1);
        s = &sections_.back();
    }
    Line fresh = ParseLine(Own(std::string(key) + "=" + EncodeValue(value)));
    for (Line& l : s->lines) {
        if (l.isKey && EqualNames(l.text.substr(l.keyBegin, l.keyEnd - l.keyBegin), key)) {
            l = fresh;
            return;
        }
    }
    InsertAtEnd(*s, fresh);
}

void TIniFile::InsertAtEnd(Section& s, const Line& line)
{
    // A new key goes after the section's last non-blank line, ahead of the blank lines that part it
    // from the next section.
    auto pos = s.lines.end();
    while (pos != s.lines.begin() + 1 && Trim(std::prev(pos)->text).empty())
        --pos;
    s.lines.insert(pos, line);
}

void TIniFile::AppendLine(std::string_view section, std::string line)
{
    Section* s = FindSection(section);
    if (!s)
        return;
    // A line break would end the line early and leave the rest as a stray line of the file.
    std::replace_if(
        line.begin(), line.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
    InsertAtEnd(*s, ParseLine(Own(std::move(line))));
}

void TIniFile::WriteInteger(std::string_view section, std::string_view key, std::int32_t value)
{
    WriteString(section, key, std::to_string(value));
}

void TIniFile::WriteBool(std::string_view section, std::string_view key, bool value)
{
    WriteString(section, key, value ? "1" : "0");
}

bool TIniFile::EraseSection(std::string_view section)
{
    auto it = byName_.find(UpperAscii(section));
    if (it == byName_.end() || it->second.empty())
        return false;
    sections_[it->second.front()].erased = true;
    it->second.erase(it->second.begin());
    return true;
}

std::vector<TIniFile::Section> TIniFile::TakeSections(std::string_view section)
{
    std::vector<Section> taken;
    auto it = byName_.find(UpperAscii(section));
    if (it == byName_.end())
        return taken;
    for (std::uint32_t i : it->second) {
        taken.push_back(sections_[i]);
        sections_[i].erased = true;
    }
    it->second.clear();
    return taken;
}

void TIniFile::AppendSection(Section section)
{
    section.erased = false;
    sections_.push_back(std::move(section));
    if (sections_.back().hasHeader)
        Index(sections_.size() - 1);
}
