// Checks the signature the publisher of the update list makes with minisign: Ed25519 over the list itself
// (the older "Ed" kind) or over its BLAKE2b-512 digest ("ED"), plus the signature over the trusted comment.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

// The part of a minisign public key that checking needs.
struct TMinisignKey
{
    std::array<std::uint8_t, 8> KeyId{};
    std::array<std::uint8_t, 32> PublicKey{};
};

// The key line of a minisign public key file (its second line, base64); nothing when it is not one.
std::optional<TMinisignKey> ParseMinisignKey(std::string_view keyLine);

// The largest signature file taken: four short lines, of which the trusted comment is the longest.
inline constexpr std::size_t kMaxSignatureFileBytes = 8 * 1024;

// True only when `signatureFile` (the text of a .minisig file) was made for `message` by the key of
// `keyLine`: the key ids match, the signature holds, and so does the signature over its trusted comment.
bool VerifyMinisign(std::string_view keyLine, std::string_view message, std::string_view signatureFile);
