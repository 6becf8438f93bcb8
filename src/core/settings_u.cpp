#include "core/settings_u.h"

#include "core/ini_u.h"
#include "core/servers_u.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>

std::string WoWPath;
std::int32_t Timeout = kDefaultTimeout;
bool SaveWindowPos = false;
bool MenuAutoPopup = false;
std::string ProgramToRunOnWoWLaunch;
std::string WineCommand;
bool OneInstanceOnly = false;
std::uint8_t CheckUpdates = 0;
TDateTime LastRun = 0;

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

void ReadSettings(const TIniFile& ini, TWindowSettings& window)
{
    WoWPath = ini.ReadString(S, "WoWPath", "");
    window.FullInfo = ini.ReadBool(S, "FullInfo", false);
    Timeout = ini.ReadInteger(S, "Timeout", kDefaultTimeout);
    if (Timeout < kMinTimeout || Timeout > kMaxTimeout)
        Timeout = kDefaultTimeout;
    window.Panel = ini.ReadInteger(S, "Panel", kDefaultPanel);
    window.ServerIndex = ini.ReadInteger(S, "ServerIndex", 0);
    SaveWindowPos = ini.ReadBool(S, "SaveWindowPos", false);
    if (SaveWindowPos) {
        window.WindowPosX = ini.ReadInteger(S, "WindowPosX", window.WindowPosX);
        window.WindowPosY = ini.ReadInteger(S, "WindowPosY", window.WindowPosY);
    }
    MenuAutoPopup = ini.ReadBool(S, "MenuAutoPopup", true);
    ProgramToRunOnWoWLaunch = ini.ReadString(S, "ProgramToRunOnWoWLaunch", "");
    WineCommand = ini.ReadString(S, "WineCommand", "");
    OneInstanceOnly = ini.ReadBool(S, "OneInstanceOnly", false);
    CheckUpdates = static_cast<std::uint8_t>(ini.ReadInteger(S, "CheckUpdates", kDefaultCheckUpdates));
    TDateTime lastRun = kLastRunDefault;
    auto stamp = ini.Read(S, "LastRun");
    if (!stamp || !ParseDateTime(*stamp, lastRun))
        lastRun = kLastRunDefault;
    LastRun = lastRun;
}

} // namespace

bool ReadSettingsFrom(const std::string& iniPath, TWindowSettings& window)
{
    TIniFile ini(iniPath);
    const bool readable = ini.Load();
    ReadSettings(ini, window);
    return readable;
}

bool LoadSettingsFrom(const std::string& iniPath, TWindowSettings& window)
{
    TIniFile ini(iniPath);
    // An unreadable file gives every default, as a missing one does, but is never written over: the
    // stamp below would replace the user's whole list with one line.
    const bool readable = ini.Load();
    ReadSettings(ini, window);
    if (!readable)
        return false;
    ini.WriteString(S, "LastRun", FormatDateTime(NowAsDateTime()));
    return ini.Save();
}

bool SaveSettingsTo(const std::string& iniPath, const TWindowSettings& window)
{
    TIniFile ini(iniPath);
    if (!ini.Load())
        return false;
    ini.WriteString(S, "WoWPath", WoWPath);
    ini.WriteBool(S, "FullInfo", window.FullInfo);
    ini.WriteInteger(S, "Timeout", Timeout);
    if (window.Panel >= 0 && window.Panel < kPanelPageCount)
        ini.WriteInteger(S, "Panel", window.Panel);
    ini.WriteInteger(S, "ServerIndex", window.ServerIndex);
    ini.WriteBool(S, "SaveWindowPos", SaveWindowPos);
    if (SaveWindowPos) {
        ini.WriteInteger(S, "WindowPosX", window.WindowPosX);
        ini.WriteInteger(S, "WindowPosY", window.WindowPosY);
    }
    ini.WriteBool(S, "MenuAutoPopup", MenuAutoPopup);
    ini.WriteString(S, "ProgramToRunOnWoWLaunch", ProgramToRunOnWoWLaunch);
    ini.WriteBool(S, "OneInstanceOnly", OneInstanceOnly);
    ini.WriteInteger(S, "CheckUpdates", CheckUpdates);
    return ini.Save();
}
