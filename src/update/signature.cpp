#include "update/signature.h"

#include <sodium.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

constexpr std::size_t kAlgorithmBytes = 2;
constexpr std::size_t kKeyIdBytes = 8;
constexpr std::size_t kKeyLineBytes = kAlgorithmBytes + kKeyIdBytes + crypto_sign_PUBLICKEYBYTES;
constexpr std::size_t kSignatureLineBytes = kAlgorithmBytes + kKeyIdBytes + crypto_sign_BYTES;
constexpr std::size_t kDigestBytes = crypto_generichash_BYTES_MAX; // BLAKE2b-512
constexpr std::string_view kKeyAlgorithm = "Ed";
constexpr std::string_view kPlainAlgorithm = "Ed";
constexpr std::string_view kPrehashedAlgorithm = "ED";
constexpr std::string_view kUntrustedPrefix = "untrusted comment: ";
constexpr std::string_view kTrustedPrefix = "trusted comment: ";
constexpr std::size_t kSignatureLines = 4;

static_assert(kDigestBytes == 64);

bool SodiumReady()
{
    // Safe to call more than once and from any thread; negative only when the library cannot work at all.
    static const bool ready = sodium_init() >= 0;
    return ready;
}

// Exactly `size` bytes from the whole of `text`, nothing skipped, nothing left over.
std::optional<std::vector<std::uint8_t>> DecodeBase64(std::string_view text, std::size_t size)
{
    std::vector<std::uint8_t> bytes(size);
    std::size_t length = 0;
    const char* end = nullptr;
    if (sodium_base642bin(bytes.data(), bytes.size(), text.data(), text.size(), nullptr, &length, &end,
                          sodium_base64_VARIANT_ORIGINAL) != 0)
        return std::nullopt;
    if (length != size || end != text.data() + text.size())
        return std::nullopt;
    return bytes;
}

std::string_view WithoutCarriageReturn(std::string_view line)
{
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    return line;
}

// The lines of the file; a last line break ends the last line rather than starting another.
std::vector<std::string_view> SplitSignatureLines(std::string_view text)
{
    std::vector<std::string_view> lines;
    while (!text.empty() && lines.size() <= kSignatureLines) {
        const auto end = text.find('\n');
        lines.push_back(WithoutCarriageReturn(text.substr(0, end)));
        if (end == std::string_view::npos)
            break;
        text.remove_prefix(end + 1);
    }
    return lines;
}

bool StartsWith(std::string_view text, std::string_view prefix)
{
    return text.substr(0, prefix.size()) == prefix;
}

bool Verify(const std::uint8_t* signature, const std::uint8_t* message, std::size_t size, const TMinisignKey& key)
{
    return crypto_sign_verify_detached(signature, message, size, key.PublicKey.data()) == 0;
}

} // namespace

std::optional<TMinisignKey> ParseMinisignKey(std::string_view keyLine)
{
    if (!SodiumReady())
        return std::nullopt;
    const auto bytes = DecodeBase64(keyLine, kKeyLineBytes);
    if (!bytes || !std::equal(kKeyAlgorithm.begin(), kKeyAlgorithm.end(), bytes->begin()))
        return std::nullopt;
    TMinisignKey key;
    std::copy_n(bytes->begin() + kAlgorithmBytes, kKeyIdBytes, key.KeyId.begin());
    std::copy_n(bytes->begin() + kAlgorithmBytes + kKeyIdBytes, key.PublicKey.size(), key.PublicKey.begin());
    return key;
}

bool VerifyMinisign(std::string_view keyLine, std::string_view message, std::string_view signatureFile)
{
    const auto key = ParseMinisignKey(keyLine);
    if (!key || signatureFile.size() > kMaxSignatureFileBytes)
        return false;
    const std::vector<std::string_view> lines = SplitSignatureLines(signatureFile);
    if (lines.size() != kSignatureLines || !StartsWith(lines[0], kUntrustedPrefix) ||
        !StartsWith(lines[2], kTrustedPrefix))
        return false;
    const auto signatureLine = DecodeBase64(lines[1], kSignatureLineBytes);
    const auto globalSignature = DecodeBase64(lines[3], crypto_sign_BYTES);
    if (!signatureLine || !globalSignature)
        return false;

    const std::string_view algorithm(reinterpret_cast<const char*>(signatureLine->data()), kAlgorithmBytes);
    const bool prehashed = algorithm == kPrehashedAlgorithm;
    if (!prehashed && algorithm != kPlainAlgorithm)
        return false;
    // A signature by another key could hold by chance of a weak key; the id says at once it is not ours.
    if (!std::equal(key->KeyId.begin(), key->KeyId.end(), signatureLine->begin() + kAlgorithmBytes))
        return false;
    const std::uint8_t* signature = signatureLine->data() + kAlgorithmBytes + kKeyIdBytes;

    const auto* messageBytes = reinterpret_cast<const std::uint8_t*>(message.data());
    if (prehashed) {
        std::array<std::uint8_t, kDigestBytes> digest{};
        if (crypto_generichash(digest.data(), digest.size(), messageBytes, message.size(), nullptr, 0) != 0 ||
            !Verify(signature, digest.data(), digest.size(), *key))
            return false;
    } else if (!Verify(signature, messageBytes, message.size(), *key)) {
        return false;
    }

    // The trusted comment is bound to this signature: the signature's bytes, then the comment's text.
    const std::string_view comment = lines[2].substr(kTrustedPrefix.size());
    std::vector<std::uint8_t> signedComment(signature, signature + crypto_sign_BYTES);
    signedComment.insert(signedComment.end(), comment.begin(), comment.end());
    return Verify(globalSignature->data(), signedComment.data(), signedComment.size(), *key);
}
