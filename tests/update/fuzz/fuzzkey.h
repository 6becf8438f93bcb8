// The public key of the signature fuzzer's seeds; its secret half was thrown away once they were made.
#pragma once

#include <string_view>

inline constexpr std::string_view kFuzzSeedKeyLine = "RWQfYMHdtZ7DnoNGMlQioU2xOCxO65RIHfj1pUUhBmHnpBGsrbLiAK2m";
