#include "core/settings.h"

#include "core/ini.h"
#include "core/servers_u.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>

namespace {

constexpr const char* S = kSettingsSection;
constexpr double kSecondsPerDay = 86400.0;
// Day 0 of TDateTime, 30 December 1899, counted from 1 January 1970.
constexpr std::chrono::sys_days kDateTimeEpoch = std::chrono::sys_days{std::chrono::year{1899} / 12 / 30};

TDateTime Compose(int y, unsigned mo, unsigned d, unsigned h, unsigned mi, unsigned s, bool& ok)
{
    using namespace std::chrono;
    year_month_day ymd{year{y}, month{mo}, day{d}};
    ok = ymd.ok() && h < 24 && mi < 60 && s < 60;
    if (!ok)
        return 0;
    double days = static_cast<double>((sys_days{ymd} - kDateTimeEpoch).count());
    return days + (h * 3600.0 + mi * 60.0 + s) / kSecondsPerDay;
}

} // namespace

int SelectedIndexFor(int storedIndex, int count)
{
    if (count <= 0)
        return -1;
    return (storedIndex >= 0 && storedIndex < count) ? storedIndex : 0;
}

int CentredEdge(int screen, int size)
{
    return (screen - size) / 2;
}

TDateTime NowAsDateTime()
{
    std::time_t t = std::time(nullptr);
    std::tm local{};
    localtime_r(&t, &local);
    bool ok = false;
    return Compose(local.tm_year + 1900, static_cast<unsigned>(local.tm_mon + 1), static_cast<unsigned>(local.tm_mday),
                   static_cast<unsigned>(local.tm_hour), static_cast<unsigned>(local.tm_min),
                   static_cast<unsigned>(std::min(local.tm_sec, 59)), ok);
}

std::string FormatDateTime(TDateTime value)
{
    using namespace std::chrono;
    double whole = std::floor(value);
    auto secs = static_cast<long long>(std::llround((value - whole) * kSecondsPerDay));
    auto dayCount = static_cast<long long>(whole);
    if (secs >= static_cast<long long>(kSecondsPerDay)) {
        secs -= static_cast<long long>(kSecondsPerDay);
        ++dayCount;
    }
    year_month_day ymd{kDateTimeEpoch + days{dayCount}};
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04d-%02u-%02u %02lld:%02lld:%02lld", static_cast<int>(ymd.year()),
                  static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()), secs / 3600, secs / 60 % 60,
                  secs % 60);
    return buf;
}

bool ParseDateTime(const std::string& text, TDateTime& value)
{
    int y = 0, a = 0, b = 0, h = 0, mi = 0, s = 0, used = 0;
    char ampm[3] = {};
    bool ok = false;
    TDateTime v = 0;
    // Our own form first, then the day-first and month-first short forms the Windows edition wrote.
    if (std::sscanf(text.c_str(), "%d-%d-%d %d:%d:%d%n", &y, &a, &b, &h, &mi, &s, &used) == 6 &&
        used == static_cast<int>(text.size())) {
        v = Compose(y, static_cast<unsigned>(a), static_cast<unsigned>(b), static_cast<unsigned>(h),
                    static_cast<unsigned>(mi), static_cast<unsigned>(s), ok);
    } else if (std::sscanf(text.c_str(), "%d.%d.%d %d:%d:%d%n", &a, &b, &y, &h, &mi, &s, &used) == 6 &&
               used == static_cast<int>(text.size())) {
        v = Compose(y, static_cast<unsigned>(b), static_cast<unsigned>(a), static_cast<unsigned>(h),
                    static_cast<unsigned>(mi), static_cast<unsigned>(s), ok);
    } else if (int n = std::sscanf(text.c_str(), "%d/%d/%d %d:%d:%d %2s", &a, &b, &y, &h, &mi, &s, ampm); n >= 6) {
        std::string suffix = UpperAscii(ampm);
        if (suffix == "PM" && h < 12)
            h += 12;
        else if (suffix == "AM" && h == 12)
            h = 0;
        if (n == 6 || suffix == "AM" || suffix == "PM")
            v = Compose(y, static_cast<unsigned>(a), static_cast<unsigned>(b), static_cast<unsigned>(h),
                        static_cast<unsigned>(mi), static_cast<unsigned>(s), ok);
    }
    if (ok && h >= 0 && mi >= 0 && s >= 0)
        value = v;
    return ok && h >= 0 && mi >= 0 && s >= 0;
}

namespace {

void ReadSettings(const TIniFile& ini, TMainSettings& values, TWindowSettings& window)
{
    values.WoWPath = ini.ReadString(S, "WoWPath", "");
    window.FullInfo = ini.ReadBool(S, "FullInfo", false);
    values.Timeout = ini.ReadInteger(S, "Timeout", kDefaultTimeout);
    if (values.Timeout < kMinTimeout || values.Timeout > kMaxTimeout)
        values.Timeout = kDefaultTimeout;
    window.Panel = ini.ReadInteger(S, "Panel", kDefaultPanel);
    window.ServerIndex = ini.ReadInteger(S, "ServerIndex", 0);
    values.SaveWindowPos = ini.ReadBool(S, "SaveWindowPos", false);
    if (values.SaveWindowPos) {
        window.WindowPosX = ini.ReadInteger(S, "WindowPosX", window.WindowPosX);
        window.WindowPosY = ini.ReadInteger(S, "WindowPosY", window.WindowPosY);
    }
    values.MenuAutoPopup = ini.ReadBool(S, "MenuAutoPopup", true);
    values.ProgramToRunOnWoWLaunch = ini.ReadString(S, "ProgramToRunOnWoWLaunch", "");
    values.WineCommand = ini.ReadString(S, "WineCommand", "");
    values.OneInstanceOnly = ini.ReadBool(S, "OneInstanceOnly", false);
    values.CheckUpdates = static_cast<std::uint8_t>(ini.ReadInteger(S, "CheckUpdates", kDefaultCheckUpdates));
    TDateTime lastRun = kLastRunDefault;
    auto stamp = ini.Read(S, "LastRun");
    if (!stamp || !ParseDateTime(*stamp, lastRun))
        lastRun = kLastRunDefault;
    values.LastRun = lastRun;
}

} // namespace

void TSettings::Apply(const TMainSettings& values)
{
    values_ = values;
    // A listener may subscribe or end its subscription while it is told.
    const auto listeners = listeners_;
    for (const auto& weak : listeners)
        if (auto listener = weak.lock())
            (*listener)();
    std::erase_if(listeners_, [](const auto& weak) { return weak.expired(); });
}

TSettingsSubscription TSettings::Subscribe(std::function<void()> listener)
{
    auto held = std::make_shared<std::function<void()>>(std::move(listener));
    listeners_.push_back(held);
    return TSettingsSubscription(std::move(held));
}

bool TSettings::Read(const std::string& iniPath, TWindowSettings& window)
{
    TIniFile ini(iniPath);
    const bool readable = ini.Load();
    ReadSettings(ini, values_, window);
    return readable;
}

bool TSettings::Load(const std::string& iniPath, TWindowSettings& window)
{
    TIniFile ini(iniPath);
    // An unreadable file gives every default, as a missing one does, but is never written over: the
    // stamp below would replace the user's whole list with one line.
    const bool readable = ini.Load();
    ReadSettings(ini, values_, window);
    if (!readable)
        return false;
    ini.WriteString(S, "LastRun", FormatDateTime(NowAsDateTime()));
    return ini.Save();
}

bool TSettings::Save(const std::string& iniPath, const TWindowSettings& window) const
{
    TIniFile ini(iniPath);
    if (!ini.Load())
        return false;
    ini.WriteString(S, "WoWPath", values_.WoWPath);
    ini.WriteBool(S, "FullInfo", window.FullInfo);
    ini.WriteInteger(S, "Timeout", values_.Timeout);
    if (window.Panel >= 0 && window.Panel < kPanelPageCount)
        ini.WriteInteger(S, "Panel", window.Panel);
    ini.WriteInteger(S, "ServerIndex", window.ServerIndex);
    ini.WriteBool(S, "SaveWindowPos", values_.SaveWindowPos);
    if (values_.SaveWindowPos) {
        ini.WriteInteger(S, "WindowPosX", window.WindowPosX);
        ini.WriteInteger(S, "WindowPosY", window.WindowPosY);
    }
    ini.WriteBool(S, "MenuAutoPopup", values_.MenuAutoPopup);
    ini.WriteString(S, "ProgramToRunOnWoWLaunch", values_.ProgramToRunOnWoWLaunch);
    if (!values_.WineCommand.empty() || ini.Read(S, "WineCommand"))
        ini.WriteString(S, "WineCommand", values_.WineCommand);
    ini.WriteBool(S, "OneInstanceOnly", values_.OneInstanceOnly);
    ini.WriteInteger(S, "CheckUpdates", values_.CheckUpdates);
    return ini.Save();
}
