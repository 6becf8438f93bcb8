// What the status display shows for a server, and when a change of state is announced. Pure rules,
// so the window only has to apply them.
#pragma once

#include "core/textid.h"

#include <cstdint>
#include <optional>
#include <string>

// What a state or a round trip's colour says; the window's skin gives each its colour.
enum class TStatusColor
{
    Unknown, // being checked, or no round trip known
    Bad,     // offline, or a slow round trip
    Fair,    // a round trip between the two bounds
    Good,    // online, or a quick round trip
};

// Round trips above these are drawn yellow, then red.
inline constexpr std::int32_t kPingGoodMaxMs = 250;
inline constexpr std::int32_t kPingFairMaxMs = 500;

// Images of the notification-area icon.
enum TTrayImage : int
{
    tiOffline = 0,
    tiOnline = 1,
    tiChecking = 2,
    tiEmblem = 3,
};
inline constexpr int kTrayImageCount = 4;

struct TStatusView
{
    std::string StatusText;
    TStatusColor StatusColor = TStatusColor::Unknown;
    bool PingVisible = false;
    std::string PingText;
    TStatusColor PingColor = TStatusColor::Unknown;
    int TrayImage = tiChecking;
};

TStatusView StatusViewOf(std::uint8_t status, std::int32_t ping);
TStatusColor PingColorOf(std::int32_t ping);

// The message announcing a change to `status`, or none: only a change between offline and online, and
// only while the window waits out of sight (in the notification area, or minimized where there is none).
std::optional<TTextId> AnnouncementFor(std::uint8_t status, std::uint8_t lastAnnounced, bool trayShown);
// The text the icon shows for the selected server when pointed at.
TTextId TrayHintFor(std::uint8_t status);
