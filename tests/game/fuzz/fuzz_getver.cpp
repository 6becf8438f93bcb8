// libFuzzer target for the version reader: any bytes, read as an executable, must never crash, hang or
// read outside the input. Built and run by .ci/steps/fuzz_getver.sh.
#include "game/peversion.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    TMemorySource source(data, size);
    auto resource = ReadVersionResource(source);
    if (resource && resource->ProductName.size() > kMaxVersionResourceSize)
        __builtin_trap();
    return 0;
}
