#include "core/ini_u.h"

#include "platform/files.h"

#include <algorithm>

namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";
constexpr std::string_view kBlanks = " \t\v\f\r";

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
    Line line;
    line.text = text;
    auto eq = text.find('=');
    std::string_view trimmed = Trim(text);
    if (eq == std::string_view::npos || trimmed.empty() || trimmed.front() == ';')
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
    byName_[UpperAscii(sections_[sectionIndex].name)].push_back(static_cast<std::uint32_t>(sectionIndex));
}

void TIniFile::LoadFromText(std::string text)
{
    text_ = std::move(text);
    owned_.clear();
    sections_.clear();
    byName_.clear();
    std::string_view all = text_;
    bom_ = all.substr(0, kBom.size()) == kBom;
    if (bom_)
        all.remove_prefix(kBom.size());
    auto firstLf = all.find('\n');
    if (firstLf == std::string_view::npos)
        lineEnd_ = platform::NativeLineEnd();
    else
        lineEnd_ = (firstLf > 0 && all[firstLf - 1] == '\r') ? "\r\n" : "\n";

    sections_.push_back(Section{}); // whatever stands before the first header
    while (!all.empty()) {
        auto lf = all.find('\n');
        std::string_view raw = all.substr(0, lf);
        all = lf == std::string_view::npos ? std::string_view() : all.substr(lf + 1);
        if (!raw.empty() && raw.back() == '\r')
            raw.remove_suffix(1);
        std::string_view trimmed = Trim(raw);
        if (!trimmed.empty() && trimmed.front() == '[') {
            Section s;
            auto close = trimmed.find(']');
            s.name = Trim(trimmed.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1));
            s.hasHeader = true;
            s.lines.push_back(Line{raw});
            sections_.push_back(std::move(s));
            Index(sections_.size() - 1);
            continue;
        }
        sections_.back().lines.push_back(ParseLine(raw));
    }
}

std::string TIniFile::ToText() const
{
    std::size_t size = bom_ ? kBom.size() : 0;
    for (const Section& s : sections_)
        if (!s.erased)
            for (const Line& l : s.lines)
                size += l.text.size() + lineEnd_.size();
    std::string out;
    out.reserve(size);
    if (bom_)
        out += kBom;
    for (const Section& s : sections_) {
        if (s.erased)
            continue;
        for (const Line& l : s.lines) {
            out += l.text;
            out += lineEnd_;
        }
    }
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
        if (s.hasHeader && !s.erased)
            names.emplace_back(s.name);
    return names;
}

bool TIniFile::SectionExists(std::string_view section) const
{
    const Section* s = FindSection(section);
    return s && std::any_of(s->lines.begin(), s->lines.end(), [](const Line& l) { return l.isKey; });
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
    // A new key goes after the section's last non-blank line, ahead of the blank lines that part it
    // from the next section.
    auto pos = s->lines.end();
    while (pos != s->lines.begin() + 1 && Trim(std::prev(pos)->text).empty())
        --pos;
    s->lines.insert(pos, fresh);
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
