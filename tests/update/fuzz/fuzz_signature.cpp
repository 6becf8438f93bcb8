// libFuzzer target for the update list's signature check: the input is a signature file, a zero byte, and
// the list it claims to sign. Nothing may crash or read outside the input, the answer must not change
// between two looks, and no list may pass once a byte of it is changed. The seeds in corpus/signature are
// true signatures by the key of fuzzkey.h.
// Built and run by .ci/steps/fuzz_signature.sh.
#include "fuzzkey.h"
#include "update/signature.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const auto split = input.find('\0');
    const std::string_view signature = input.substr(0, split);
    const std::string_view message = split == std::string_view::npos ? std::string_view() : input.substr(split + 1);

    const bool valid = VerifyMinisign(kFuzzSeedKeyLine, message, signature);
    if (VerifyMinisign(kFuzzSeedKeyLine, message, signature) != valid)
        __builtin_trap();
    if (valid) {
        std::string changed(message);
        if (changed.empty())
            changed.push_back('x');
        else
            changed.back() = static_cast<char>(changed.back() ^ 1);
        if (VerifyMinisign(kFuzzSeedKeyLine, changed, signature))
            __builtin_trap();
    }
    // The same bytes as the key line the program is built with.
    (void)ParseMinisignKey(signature);
    return 0;
}
