// What the status display shows for a server, and when a change of state is announced. Pure rules,
// so the window only has to apply them.
#pragma once

#include <cstdint>
#include <string>

// Colours as the Windows edition writes them: 0x00BBGGRR.
using TColorRef = std::uint32_t;
inline constexpr TColorRef kColorGrey = 0x808080;
inline constexpr TColorRef kColorRed = 0x0000FF;
inline constexpr TColorRef kColorLime = 0x00FF00;
inline constexpr TColorRef kColorYellow = 0x00FFFF;
inline constexpr TColorRef kColorCaption = 0x28CDF7;
inline constexpr TColorRef kColorPanel = 0x191919;

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

inline constexpr int kMsgChecking = 1008;
inline constexpr int kMsgServerOnline = 1009;
inline constexpr int kMsgServerOffline = 1010;
inline constexpr int kMsgNowOnline = 1011;
inline constexpr int kMsgNowOffline = 1012;

struct TStatusView
{
    std::string StatusText;
    TColorRef StatusColor = kColorGrey;
    bool PingVisible = false;
    std::string PingText;
    TColorRef PingColor = kColorGrey;
    int TrayImage = tiChecking;
};

TStatusView StatusViewOf(std::uint8_t status, std::int32_t ping);
TColorRef PingColorOf(std::int32_t ping);

// The message announcing a change to `status`, or 0 when nothing is announced: only a change between
// offline and online, and only while the window waits in the notification area.
int AnnouncementFor(std::uint8_t status, std::uint8_t lastAnnounced, bool trayShown);
// The text the icon shows for the selected server when pointed at.
int TrayHintFor(std::uint8_t status);
