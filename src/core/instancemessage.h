// What a later start of the program tells the running copy over the single-instance channel, and what it
// is answered: one short line each way, so a peer that sends too much or nonsense is cut off early.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Neither side ever keeps more than this of one line; a longer one is refused, not cut.
inline constexpr std::size_t kInstanceLineMax = 4096;

struct TInstanceRequest
{
    enum class TKind
    {
        Activate, // bring the window up
        Play,     // play the named server as the window's own Play would, then say how it went
    };
    TKind Kind = TKind::Activate;
    std::string ServerName{};
    // What the desktop gave the new process to pass focus on with (Wayland's and X11's); may be empty.
    std::string ActivationToken{};
    std::string StartupId{};
};

struct TInstanceReply
{
    enum class TKind
    {
        Accepted, // the running copy has taken the request; the outcome follows
        Done,     // the request is carried out; `Status` is its exit status
    };
    TKind Kind = TKind::Done;
    int Status = 0;
    // Texts of the messages the running copy showed meanwhile.
    std::vector<std::string> Messages{};
};

// The line, '\n' included; empty when it would be longer than kInstanceLineMax.
std::string EncodeRequest(const TInstanceRequest& request);
std::string EncodeReply(const TInstanceReply& reply);
// One line without its '\n'; nothing for anything not made by the encoders above.
std::optional<TInstanceRequest> ParseRequest(std::string_view line);
std::optional<TInstanceReply> ParseReply(std::string_view line);

// Collects bytes as they arrive and hands out whole lines; more than kInstanceLineMax without an end of
// line is a fault, after which nothing more is taken.
class TInstanceLineReader
{
public:
    // False once the peer is at fault.
    bool Feed(std::string_view bytes);
    // The next whole line without its '\n', if one is there.
    std::optional<std::string> TakeLine();
    bool Faulty() const { return faulty_; }

private:
    std::string buffer_;
    bool faulty_ = false;
};
