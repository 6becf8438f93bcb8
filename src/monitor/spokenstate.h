// What a screen reader says of a server: its name, its state and, when online, its round trip, in one
// short sentence from the edition's texts.
#pragma once

#include <cstdint>
#include <string>

// `status` is one of ssChecking, ssOffline, ssOnline; `pingMs` below 0 when no round trip is known.
std::string SpokenServerState(const std::string& name, std::uint8_t status, std::int32_t pingMs);
