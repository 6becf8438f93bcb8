// Text lookup in the string table compiled into the program, and the message texts loaded from it.
#pragma once

#include "core/textid.h"

#include <array>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

// Every caller reads with this bound; the table's entries are cut one character short of it.
inline constexpr int kTextBufferLength = 255;

inline constexpr TTextId kFirstMessageId = TTextId::ServerNotAdded;
inline constexpr int kMessageCount = 49;

inline constexpr std::uint16_t kLangNeutral = 0;
inline constexpr std::uint16_t kLangCzech = 5;
inline constexpr std::uint16_t kLangEnglish = 9;

struct TTextEntry
{
    int id;
    const char* text;
};

// The entry with that id, at most maxLength - 1 characters; empty when there is none.
std::string LoadText(TTextId id, int maxLength = kTextBufferLength);
// The same lookup in any table, so tests can check both editions' tables.
std::string LoadTextFrom(const TTextEntry* table, std::size_t count, int id, int maxLength);
std::uint16_t LanguageIdOf(std::string_view code);

extern std::string LanguageCode;
extern std::uint16_t InterfaceLanguage;

// Fills LanguageCode, InterfaceLanguage and the type name of type 0; runs once at start-up.
void InitLocalization();

// Message text by id (1000..1048); empty for other ids.
std::string Msg(TTextId id);

// The id `steps` places after `first`, for the few texts that are walked in order (a list's entries).
constexpr TTextId TextIdAfter(TTextId first, int steps)
{
    return static_cast<TTextId>(static_cast<int>(first) + steps);
}

// `text` with its "%s" and "%d" places filled in order by `values`. A place without a value stays as it
// is, so a short call shows in the text rather than cutting it; values beyond the places are ignored.
// A value is never read for places again, so a '%' in a name or a path comes out as typed.
std::string FillPlaceholders(std::string_view text, std::initializer_list<std::string_view> values);
// The text `id` of the edition, filled as FillPlaceholders does.
std::string FillText(TTextId id, std::initializer_list<std::string_view> values);

// The texts of the program's own string tables, for the checks that both editions are complete.
struct TTextTable
{
    const TTextEntry* entries;
    std::size_t count;
};
TTextTable EnglishTextTable();
TTextTable CzechTextTable();
TTextTable BuildTextTable();
