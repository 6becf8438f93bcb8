#include "core/instancemessage.h"

#include <algorithm>
#include <charconv>

namespace {

constexpr std::string_view kMagic = "KORVAN1";
constexpr std::string_view kActivate = "activate";
constexpr std::string_view kPlay = "play";
constexpr std::string_view kAccepted = "accepted";
constexpr std::string_view kDone = "done";
constexpr char kNameKey = 'n';
constexpr char kTokenKey = 't';
constexpr char kStartupKey = 's';
constexpr char kMessageKey = 'm';
// One reply carries no more messages than a play can show.
constexpr std::size_t kMessagesMax = 16;
constexpr std::string_view kHexDigits = "0123456789ABCDEF";
constexpr unsigned kNibbleBits = 4;
constexpr unsigned kNibbleMask = 0xF;

// Tokens the desktop hands out are short printable words; anything else is no token of its.
constexpr std::size_t kTokenMax = 256;
bool IsToken(std::string_view text)
{
    return text.size() <= kTokenMax &&
           std::all_of(text.begin(), text.end(), [](char c) { return c > ' ' && c < '\x7f'; });
}

bool IsPlain(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '_' ||
           c == '~' || c == '-';
}

// Every byte but a few plain ones as %XX, so a value holds no space, no end of line and no control byte.
std::string Escape(std::string_view value)
{
    std::string out;
    for (const char c : value) {
        if (IsPlain(c)) {
            out += c;
            continue;
        }
        const auto code = static_cast<unsigned char>(c);
        out += '%';
        out += kHexDigits[code >> kNibbleBits];
        out += kHexDigits[code & kNibbleMask];
    }
    return out;
}

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

std::optional<std::string> Unescape(std::string_view value)
{
    std::string out;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (IsPlain(value[i])) {
            out += value[i];
            continue;
        }
        if (value[i] != '%' || value.size() - i < 3)
            return std::nullopt;
        const int high = HexValue(value[i + 1]);
        const int low = HexValue(value[i + 2]);
        if (high < 0 || low < 0)
            return std::nullopt;
        out += static_cast<char>((high << kNibbleBits) | low);
        i += 2;
    }
    return out;
}

std::vector<std::string_view> Words(std::string_view line)
{
    std::vector<std::string_view> words;
    std::size_t start = 0;
    while (start <= line.size()) {
        const std::size_t end = std::min(line.find(' ', start), line.size());
        words.push_back(line.substr(start, end - start));
        start = end + 1;
    }
    return words;
}

struct TField
{
    char key;
    std::string value;
};

// "k=value"; an empty word (two spaces, a space at an end) is no field.
std::optional<TField> ParseField(std::string_view word)
{
    if (word.size() < 2 || word[1] != '=')
        return std::nullopt;
    std::optional<std::string> value = Unescape(word.substr(2));
    if (!value)
        return std::nullopt;
    return TField{word[0], std::move(*value)};
}

std::string Field(char key, std::string_view value)
{
    return std::string(" ") + key + '=' + Escape(value);
}

std::string Line(std::string text)
{
    if (text.size() + 1 > kInstanceLineMax)
        return {};
    return text + '\n';
}

} // namespace

std::string EncodeRequest(const TInstanceRequest& request)
{
    std::string text(kMagic);
    text += ' ';
    if (request.Kind == TInstanceRequest::TKind::Play) {
        text += kPlay;
        text += Field(kNameKey, request.ServerName);
    } else {
        text += kActivate;
    }
    // A token the running copy would refuse is of no use to it; the request goes without.
    if (!request.ActivationToken.empty() && IsToken(request.ActivationToken))
        text += Field(kTokenKey, request.ActivationToken);
    if (!request.StartupId.empty() && IsToken(request.StartupId))
        text += Field(kStartupKey, request.StartupId);
    return Line(std::move(text));
}

std::string EncodeReply(const TInstanceReply& reply)
{
    std::string text(kMagic);
    text += ' ';
    if (reply.Kind == TInstanceReply::TKind::Accepted)
        return Line(text + std::string(kAccepted));
    text += kDone;
    text += ' ';
    text += std::to_string(reply.Status);
    const std::size_t count = std::min(reply.Messages.size(), kMessagesMax);
    for (std::size_t i = 0; i < count; ++i)
        text += Field(kMessageKey, reply.Messages[i]);
    return Line(std::move(text));
}

std::optional<TInstanceRequest> ParseRequest(std::string_view line)
{
    const std::vector<std::string_view> words = Words(line);
    if (line.size() >= kInstanceLineMax || words.size() < 2 || words[0] != kMagic)
        return std::nullopt;
    TInstanceRequest request;
    if (words[1] == kPlay)
        request.Kind = TInstanceRequest::TKind::Play;
    else if (words[1] != kActivate)
        return std::nullopt;
    bool named = false, tokened = false, started = false;
    for (std::size_t i = 2; i < words.size(); ++i) {
        std::optional<TField> field = ParseField(words[i]);
        if (!field)
            return std::nullopt;
        bool* seen = nullptr;
        std::string* target = nullptr;
        switch (field->key) {
        case kNameKey:
            if (request.Kind != TInstanceRequest::TKind::Play)
                return std::nullopt;
            seen = &named;
            target = &request.ServerName;
            break;
        case kTokenKey:
            seen = &tokened;
            target = &request.ActivationToken;
            break;
        case kStartupKey:
            seen = &started;
            target = &request.StartupId;
            break;
        default:
            return std::nullopt;
        }
        if (*seen)
            return std::nullopt;
        *seen = true;
        *target = std::move(field->value);
    }
    if ((request.Kind == TInstanceRequest::TKind::Play && !named) || !IsToken(request.ActivationToken) ||
        !IsToken(request.StartupId))
        return std::nullopt;
    return request;
}

std::optional<TInstanceReply> ParseReply(std::string_view line)
{
    const std::vector<std::string_view> words = Words(line);
    if (line.size() >= kInstanceLineMax || words.size() < 2 || words[0] != kMagic)
        return std::nullopt;
    TInstanceReply reply;
    if (words[1] == kAccepted) {
        if (words.size() != 2)
            return std::nullopt;
        reply.Kind = TInstanceReply::TKind::Accepted;
        return reply;
    }
    if (words[1] != kDone || words.size() < 3 || words.size() - 3 > kMessagesMax)
        return std::nullopt;
    const std::string_view status = words[2];
    // Only what an exit status can be: no sign, no leading zero, a few digits.
    constexpr std::size_t kStatusDigitsMax = 3;
    constexpr int kStatusMax = 255;
    if (status.empty() || status.size() > kStatusDigitsMax || status[0] < '0' || status[0] > '9' ||
        (status.size() > 1 && status[0] == '0'))
        return std::nullopt;
    const auto [end, error] = std::from_chars(status.data(), status.data() + status.size(), reply.Status);
    if (error != std::errc() || end != status.data() + status.size() || reply.Status > kStatusMax)
        return std::nullopt;
    for (std::size_t i = 3; i < words.size(); ++i) {
        std::optional<TField> field = ParseField(words[i]);
        if (!field || field->key != kMessageKey)
            return std::nullopt;
        reply.Messages.push_back(std::move(field->value));
    }
    return reply;
}

bool TInstanceLineReader::Feed(std::string_view bytes)
{
    // Lines are taken as they come, so what waits is at most one line and the piece just read; a peer that
    // floods or never ends its line gets no further.
    if (faulty_ || buffer_.size() + bytes.size() > 2 * kInstanceLineMax) {
        faulty_ = true;
        return false;
    }
    buffer_.append(bytes);
    const std::size_t lastEnd = buffer_.rfind('\n');
    const std::size_t tail = lastEnd == std::string::npos ? buffer_.size() : buffer_.size() - lastEnd - 1;
    if (tail >= kInstanceLineMax)
        faulty_ = true;
    return !faulty_;
}

std::optional<std::string> TInstanceLineReader::TakeLine()
{
    if (faulty_)
        return std::nullopt;
    const std::size_t end = buffer_.find('\n');
    if (end == std::string::npos)
        return std::nullopt;
    if (end >= kInstanceLineMax) {
        faulty_ = true;
        return std::nullopt;
    }
    std::string line = buffer_.substr(0, end);
    buffer_.erase(0, end + 1);
    return line;
}
