#include "news/rss_u.h"

#include <string_view>

namespace {

constexpr const char* kHttpPrefix = "http://";
constexpr const char* kHttpsPrefix = "https://";

bool StartsWithNoCase(const std::string& text, const char* prefix)
{
    const std::string_view wanted(prefix);
    if (text.size() < wanted.size())
        return false;
    for (std::size_t i = 0; i < wanted.size(); ++i) {
        const char c = text[i];
        const char lower = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
        if (lower != wanted[i])
            return false;
    }
    return true;
}

} // namespace

std::string AddHttpPrefix(const std::string& address)
{
    if (StartsWithNoCase(address, kHttpPrefix) || StartsWithNoCase(address, kHttpsPrefix))
        return address;
    return kHttpPrefix + address;
}
