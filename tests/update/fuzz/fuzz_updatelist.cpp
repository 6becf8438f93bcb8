// libFuzzer target for the update list: any bytes, split into lines as a download is, parsed, and the files
// checked as the download checks them before fetching anything. Nothing may crash or read outside the
// input; what the parser returns must hold to its own rules. Built and run by .ci/steps/fuzz_updatelist.sh.
#include "update/install.h"
#include "update/updatelist.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace {

// CR, LF or CR LF, as the download splits the list.
std::vector<std::string> Lines(std::string_view text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r' && text[i] != '\n')
            continue;
        lines.emplace_back(text.substr(start, i - start));
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    if (start < text.size())
        lines.emplace_back(text.substr(start));
    return lines;
}

bool IsBlankByte(char c)
{
    return static_cast<unsigned char>(c) <= ' ';
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::vector<std::string> lines = Lines(text);
    const auto info = ParseUpdateList(lines);
    if (info) {
        if (info->Files.size() * 2 + 4 > lines.size())
            __builtin_trap();
        for (const TUpdateFile& file : info->Files) {
            // Trimmed, as the download uses them.
            for (const std::string* part : {&file.Name, &file.URL})
                if (!part->empty() && (IsBlankByte(part->front()) || IsBlankByte(part->back())))
                    __builtin_trap();
        }
        const bool acceptable = UpdateFilesAcceptable(info->Files, true);
        if (acceptable) {
            for (const TUpdateFile& file : info->Files) {
                if (!IsSafeUpdateName(file.Name) || !ParseFileSource(file.URL).Sha256)
                    __builtin_trap();
            }
        }
        // What the new program answers is read back as the version it was written from.
        const auto answered = VersionFromAnswer("Korvan II " + VersionText(info->Version) + "\n");
        if (!answered || VersionText(*answered) != VersionText(info->Version))
            __builtin_trap();
    }
    // The same bytes as a program's answer to --version.
    if (const auto version = VersionFromAnswer(text); version && version->Build != 0)
        __builtin_trap();
    return 0;
}
