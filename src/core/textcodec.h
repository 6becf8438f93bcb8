// Shows texts that the INI file holds as raw bytes: UTF-8 as it is, anything else in the legacy
// Windows code page of the edition, so names written by the Windows edition read correctly.
#pragma once

#include <string>
#include <string_view>

bool IsValidUtf8(std::string_view bytes);

enum class TLegacyCodePage
{
    Windows1252,
    Windows1250,
};

std::string DecodeLegacy(std::string_view bytes, TLegacyCodePage page);
// The code page of this edition: Windows-1250 for the Czech one, Windows-1252 otherwise.
TLegacyCodePage EditionCodePage();
// UTF-8 for display.
std::string DisplayText(std::string_view bytes);
