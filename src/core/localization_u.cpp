#include "core/localization_u.h"

#include "core/servers_u.h"

#include <algorithm>

namespace {

const TTextEntry kEnglish[] = {
#include "texts/en.inc"
};
const TTextEntry kCzech[] = {
#include "texts/cz.inc"
};

// Cuts after `count` characters; texts are UTF-8, so a character may span several bytes.
std::string CutCharacters(std::string_view text, int count)
{
    std::size_t pos = 0;
    for (int n = 0; n < count && pos < text.size(); ++n) {
        ++pos;
        while (pos < text.size() && (static_cast<unsigned char>(text[pos]) & 0xC0) == 0x80)
            ++pos;
    }
    return std::string(text.substr(0, pos));
}

} // namespace

std::string LanguageCode;
std::uint16_t InterfaceLanguage = kLangNeutral;

TTextTable EnglishTextTable()
{
    return {kEnglish, std::size(kEnglish)};
}

TTextTable CzechTextTable()
{
    return {kCzech, std::size(kCzech)};
}

TTextTable BuildTextTable()
{
#if KORVAN_LANGUAGE_CZ
    return CzechTextTable();
#else
    return EnglishTextTable();
#endif
}

std::string LoadTextFrom(const TTextEntry* table, std::size_t count, int id, int maxLength)
{
    if (maxLength <= 1)
        return {};
    auto end = table + count;
    auto it = std::find_if(table, end, [id](const TTextEntry& e) { return e.id == id; });
    return it == end ? std::string() : CutCharacters(it->text, maxLength - 1);
}

std::string LoadText(TTextId id, int maxLength)
{
    TTextTable t = BuildTextTable();
    return LoadTextFrom(t.entries, t.count, static_cast<int>(id), maxLength);
}

std::string FillPlaceholders(std::string_view text, std::initializer_list<std::string_view> values)
{
    std::string out;
    out.reserve(text.size());
    auto next = values.begin();
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool place = text[i] == '%' && i + 1 < text.size() && (text[i + 1] == 's' || text[i + 1] == 'd');
        if (place && next != values.end()) {
            out += *next++;
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::string FillText(TTextId id, std::initializer_list<std::string_view> values)
{
    return FillPlaceholders(LoadText(id), values);
}

std::uint16_t LanguageIdOf(std::string_view code)
{
    std::string upper(code);
    for (char& c : upper)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    if (upper == "CZ")
        return kLangCzech;
    if (upper == "EN")
        return kLangEnglish;
    return kLangNeutral;
}

void InitLocalization()
{
    LanguageCode = LoadText(TTextId::LanguageCode);
    InterfaceLanguage = LanguageIdOf(LanguageCode);
    ServerTypeNames[0] = Msg(TTextId::NoValue);
}

std::string Msg(TTextId id)
{
    const int pos = static_cast<int>(id) - static_cast<int>(kFirstMessageId);
    return (pos >= 0 && pos < kMessageCount) ? LoadText(id) : std::string();
}
