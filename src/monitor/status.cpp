#include "monitor/status.h"

#include "core/globaltypes_u.h"
#include "core/localization_u.h"

namespace {

// Words the table does not carry: they read the same in every edition.
constexpr const char* kWordOnline = "Online";
constexpr const char* kWordOffline = "Offline";
constexpr const char* kWordUnknownPing = "?";
constexpr const char* kWordMilliseconds = "ms";

} // namespace

TStatusColor PingColorOf(std::int32_t ping)
{
    if (ping < 0)
        return TStatusColor::Unknown;
    if (ping > kPingFairMaxMs)
        return TStatusColor::Bad;
    if (ping > kPingGoodMaxMs)
        return TStatusColor::Fair;
    return TStatusColor::Good;
}

TStatusView StatusViewOf(std::uint8_t status, std::int32_t ping)
{
    TStatusView view;
    switch (status) {
    case ssOffline:
        view.StatusText = kWordOffline;
        view.StatusColor = TStatusColor::Bad;
        view.TrayImage = tiOffline;
        break;
    case ssOnline:
        view.StatusText = kWordOnline;
        view.StatusColor = TStatusColor::Good;
        view.PingVisible = true;
        view.PingText = ping == kPingNone ? std::string(kWordUnknownPing) : std::to_string(ping) + kWordMilliseconds;
        view.PingColor = PingColorOf(ping);
        view.TrayImage = tiOnline;
        break;
    default:
        view.StatusText = Msg(TTextId::Checking);
        view.StatusColor = TStatusColor::Unknown;
        view.TrayImage = tiChecking;
        break;
    }
    return view;
}

bool AnnouncesServer(bool asked, bool shown, bool trayShown)
{
    return asked || (shown && trayShown);
}

TTextId TrayHintFor(std::uint8_t status)
{
    switch (status) {
    case ssOffline:
        return TTextId::ServerOffline;
    case ssOnline:
        return TTextId::ServerOnline;
    default:
        return TTextId::Checking;
    }
}
