// INI documents read and written the way the Windows profile-string functions do it, so files shared
// with the Windows edition keep their layout: names match without regard to the case of a-z, the first
// of two equal sections or keys wins, a new section goes to the end, and untouched lines stay byte for byte.
// A header's name runs from its "[" to the last "]" of the line; CR LF, LF and a lone CR each end a line;
// blanks are space, tab, VT, FF and Ctrl-Z. A file in UTF-16 (with its byte order mark) is held as UTF-8
// and written back in UTF-16.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// Longest value a read returns, as the profile functions' 2048-byte buffer allows.
inline constexpr std::size_t kIniMaxValueLength = 2047;

// Reads an integer as the settings and server stores expect: decimal with an optional sign, or
// hexadecimal after "$" or "0x". False for anything else, including values that do not fit 32 bits.
bool ParseIniInteger(std::string_view text, std::int32_t& value);

// Upper-cases a-z only; no other byte is touched, whatever code page the text is in.
std::string UpperAscii(std::string_view text);
bool EqualNames(std::string_view a, std::string_view b);

// True when a section of this name is read back under the same name: not empty, no blank at either end
// (a header's name is trimmed), no line break and no zero byte.
bool IsStorableSectionName(std::string_view name);

class TIniFile
{
public:
    struct Line
    {
        std::string_view text; // without the line end
        std::uint32_t keyBegin = 0, keyEnd = 0, eq = 0;
        bool isKey = false;
    };
    struct Section
    {
        std::string_view name;   // as the header spells it
        std::vector<Line> lines; // the header line first, unless this is the text before any header
        bool hasHeader = false;
        bool erased = false;
    };

    TIniFile();
    explicit TIniFile(std::string path);
    TIniFile(const TIniFile&) = delete;
    TIniFile& operator=(const TIniFile&) = delete;

    // A missing file is an empty document; false only when the file exists and cannot be read.
    bool Load();
    // Replaces the file atomically with the current document.
    bool Save() const;
    const std::string& Path() const { return path_; }

    void LoadFromText(std::string text);
    std::string ToText() const;
    // Line end used when writing: the file's own, or the platform's for a new file.
    std::string_view LineEnd() const { return lineEnd_; }

    // Every section name in file order, duplicates included; a header with an empty name is not listed.
    std::vector<std::string> SectionNames() const;
    // The names of the keys of the first section of that name, in file order, as a listing of the
    // section shows them: comments (";...") and lines without "=" are not keys there.
    std::vector<std::string> KeyNames(std::string_view section) const;
    // A section exists only when it holds at least one key.
    bool SectionExists(std::string_view section) const;

    std::optional<std::string> Read(std::string_view section, std::string_view key) const;
    std::string ReadString(std::string_view section, std::string_view key, std::string_view def) const;
    std::int32_t ReadInteger(std::string_view section, std::string_view key, std::int32_t def) const;
    bool ReadBool(std::string_view section, std::string_view key, bool def) const;

    void WriteString(std::string_view section, std::string_view key, std::string_view value);
    void WriteInteger(std::string_view section, std::string_view key, std::int32_t value);
    void WriteBool(std::string_view section, std::string_view key, bool value);

    // Adds `line` as it stands after the last key of the first section of that name, where a new key goes.
    // Nothing when there is no such section.
    void AppendLine(std::string_view section, std::string line);
    // A key as a listing of the section shows it: named, and no comment.
    static bool IsListedKey(const Line& line);

    // Erases the first section of that name; false when there is none.
    bool EraseSection(std::string_view section);
    // Removes every section of that name and hands them over in file order.
    std::vector<Section> TakeSections(std::string_view section);
    // Puts a section taken out earlier back at the end of the file, unchanged.
    void AppendSection(Section section);

private:
    Section* FindSection(std::string_view name);
    const Section* FindSection(std::string_view name) const;
    const Line* FindKey(const Section& s, std::string_view key) const;
    std::string_view Own(std::string text);
    void InsertAtEnd(Section& s, const Line& line);
    Line ParseLine(std::string_view text) const;
    void Index(std::size_t sectionIndex);

    std::string path_;
    std::string text_;              // the file as loaded; untouched lines point into it
    std::deque<std::string> owned_; // lines written since loading; a deque keeps their addresses
    std::vector<Section> sections_;
    std::unordered_map<std::string, std::vector<std::uint32_t>> byName_; // upper-cased name -> live sections
    std::string lineEnd_;
    enum class Encoding
    {
        Bytes,
        Utf8Bom,
        Utf16LE,
        Utf16BE,
    };
    Encoding encoding_ = Encoding::Bytes;
};
