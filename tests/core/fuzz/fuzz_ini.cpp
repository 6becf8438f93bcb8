// libFuzzer target for the INI engine: any bytes are loaded, saved and loaded again. Nothing may crash or
// read outside the input, and the second load must see the same sections, keys and values as the first.
// Built and run by .ci/steps/fuzz_ini.sh.
#include "core/ini_u.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace {

// What a reader sees: each listed section with each listed key and its value.
std::vector<std::string> Contents(const TIniFile& ini)
{
    std::vector<std::string> out;
    for (const std::string& section : ini.SectionNames()) {
        out.push_back("[" + section + "]");
        for (const std::string& key : ini.KeyNames(section))
            out.push_back(key + "=" + ini.ReadString(section, key, "<none>"));
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    TIniFile first;
    first.LoadFromText(std::string(reinterpret_cast<const char*>(data), size));
    const std::string saved = first.ToText();
    TIniFile second;
    second.LoadFromText(saved);
    if (Contents(second) != Contents(first))
        __builtin_trap();
    // A save of what was read back is the same file again.
    if (second.ToText() != saved)
        __builtin_trap();
    // Writing into the document must keep it readable the same way.
    for (const std::string& section : first.SectionNames()) {
        first.WriteString(section, "Address", "x");
        if (first.ReadString(section, "Address", "") != "x")
            __builtin_trap();
    }
    return 0;
}
