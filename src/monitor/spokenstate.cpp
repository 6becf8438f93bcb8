#include "monitor/spokenstate.h"

#include "core/globaltypes_u.h"
#include "core/localization_u.h"

std::string SpokenServerState(const std::string& name, std::uint8_t status, std::int32_t pingMs)
{
    switch (status) {
    case ssOnline:
        if (pingMs >= 0)
            return FillText(TTextId::SpokenOnlinePing, {name, std::to_string(pingMs)});
        return FillText(TTextId::SpokenOnline, {name});
    case ssOffline:
        return FillText(TTextId::SpokenOffline, {name});
    default:
        // A state from a damaged entry reads as unknown, as its grey ball shows it.
        return FillText(TTextId::SpokenChecking, {name});
    }
}
