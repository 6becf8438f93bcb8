// Text lookup in the string table compiled into the program, and the message texts loaded from it.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

// Every caller reads with this bound; the table's entries are cut one character short of it.
inline constexpr int kTextBufferLength = 255;

inline constexpr int kFirstMessageId = 1000;
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
std::string LoadText(int id, int maxLength = kTextBufferLength);
// The same lookup in any table, so tests can check both editions' tables.
std::string LoadTextFrom(const TTextEntry* table, std::size_t count, int id, int maxLength);
std::uint16_t LanguageIdOf(std::string_view code);

extern std::string LanguageCode;
extern std::uint16_t InterfaceLanguage;
extern std::array<std::string, kMessageCount> MessageTexts;

// Fills LanguageCode, InterfaceLanguage, MessageTexts and the type name of type 0; runs once at start-up.
void InitLocalization();
void FinalizeLocalization();

// Message text by id (1000..1048); empty for other ids.
const std::string& Msg(int id);

// The texts of the program's own string tables, for the checks that both editions are complete.
struct TTextTable
{
    const TTextEntry* entries;
    std::size_t count;
};
TTextTable EnglishTextTable();
TTextTable CzechTextTable();
TTextTable BuildTextTable();
