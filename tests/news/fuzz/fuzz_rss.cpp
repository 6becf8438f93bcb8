// libFuzzer target for the news reader and its page builder: any bytes are read as a channel, and the
// same bytes, split in three, become an item's title, description and link for the page builder. Nothing
// may crash or read outside the input, and every bound must hold: item count, page size, no run of text
// longer than a line can take. Built and run by .ci/steps/fuzz_rss.sh.
#include "news/rssparse.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace {

constexpr const char* kMark = "CUT";
// The mark's paragraph around it.
constexpr std::size_t kMarkOverhead = 16;

void CheckPage(const std::string& page)
{
    if (page.size() > kMaxRSSPageBytes + kMarkOverhead)
        __builtin_trap();
    // A page is already within the bounds: bounding it again changes nothing.
    if (BoundRSSPage(page, kMark) != page && page.find(kMark) == std::string::npos)
        __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const TRSSParseResult result = ParseRSS(QByteArray(bytes.data(), static_cast<qsizetype>(size)), {kMark, nullptr});
    if (result.Pages.size() > static_cast<std::size_t>(kMaxRSSItems))
        __builtin_trap();
    if (!result.Ok && !result.Pages.empty())
        __builtin_trap();
    for (const std::string& page : result.Pages)
        CheckPage(page);

    const std::size_t third = size / 3;
    const TRSSItem item{std::string(bytes.substr(0, third)), std::string(bytes.substr(third, third)),
                        std::string(bytes.substr(2 * third))};
    CheckPage(RSSPage(item, kMark));
    return 0;
}
