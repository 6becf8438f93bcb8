#include "monitor/status_u.h"

#include "core/globaltypes_u.h"
#include "core/localization_u.h"

namespace {

// Words the table does not carry: they read the same in every edition.
constexpr const char* kWordOnline = "Online";
constexpr const char* kWordOffline = "Offline";
constexpr const char* kWordUnknownPing = "?";
constexpr const char* kWordMilliseconds = "ms";

} // namespace

TColorRef PingColorOf(std::int32_t ping)
{
    if (ping < 0)
        return kColorGrey;
    if (ping > kPingFairMaxMs)
        return kColorRed;
    if (ping > kPingGoodMaxMs)
        return kColorYellow;
    return kColorLime;
}

TStatusView StatusViewOf(std::uint8_t status, std::int32_t ping)
{
    TStatusView view;
    switch (status) {
    case ssOffline:
        view.StatusText = kWordOffline;
        view.StatusColor = kColorRed;
        view.TrayImage = tiOffline;
        break;
    case ssOnline:
        view.StatusText = kWordOnline;
        view.StatusColor = kColorLime;
        view.PingVisible = true;
        view.PingText = ping == kPingNone ? std::string(kWordUnknownPing) : std::to_string(ping) + kWordMilliseconds;
        view.PingColor = PingColorOf(ping);
        view.TrayImage = tiOnline;
        break;
    default:
        view.StatusText = Msg(kMsgChecking);
        view.StatusColor = kColorGrey;
        view.TrayImage = tiChecking;
        break;
    }
    return view;
}

int AnnouncementFor(std::uint8_t status, std::uint8_t lastAnnounced, bool trayShown)
{
    if (!trayShown)
        return 0;
    if (status == ssOffline && lastAnnounced == ssOnline)
        return kMsgNowOffline;
    if (status == ssOnline && lastAnnounced == ssOffline)
        return kMsgNowOnline;
    return 0;
}

int TrayHintFor(std::uint8_t status)
{
    switch (status) {
    case ssOffline:
        return kMsgServerOffline;
    case ssOnline:
        return kMsgServerOnline;
    default:
        return kMsgChecking;
    }
}
