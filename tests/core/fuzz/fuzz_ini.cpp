// libFuzzer target for the INI engine: any bytes are loaded, saved and loaded again, before and after the
// edits the stores make. Nothing may crash or read outside the input; every load of a saved document must
// see the same sections, keys and values as the document that was saved, and save the same bytes again.
// Built and run by .ci/steps/fuzz_ini.sh; its seeds are in tests/core/fuzz/ini_corpus.
#include "core/ini.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace {

constexpr const char* kAddedSection = "Added by the fuzzer";

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

// Save, load: the same document again, which saves to the same bytes.
void ExpectStableSave(const TIniFile& document)
{
    const std::string saved = document.ToText();
    TIniFile again;
    again.LoadFromText(saved);
    if (Contents(again) != Contents(document))
        __builtin_trap();
    if (again.ToText() != saved)
        __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    TIniFile document;
    document.LoadFromText(std::string(reinterpret_cast<const char*>(data), size));
    ExpectStableSave(document);

    // The edits of a save: a key written into every section, a new section at the end, and a section
    // moved behind the others as the server store moves the ones it does not own.
    const std::vector<std::string> names = document.SectionNames();
    for (const std::string& section : names) {
        document.WriteString(section, "Address", " x ");
        if (document.ReadString(section, "Address", "") != " x ")
            __builtin_trap();
    }
    document.WriteString(kAddedSection, "Address", "y");
    if (!names.empty()) {
        for (auto& taken : document.TakeSections(names.front()))
            document.AppendSection(std::move(taken));
    }
    ExpectStableSave(document);
    return 0;
}
