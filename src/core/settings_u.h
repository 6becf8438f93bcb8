// The settings of section "Main" of tavix.ini: the process-wide values, and their load and save.
#pragma once

#include <cstdint>
#include <string>

inline constexpr std::int32_t kDefaultTimeout = 3000;
inline constexpr std::int32_t kMinTimeout = 1000;
inline constexpr std::int32_t kMaxTimeout = 15000;
inline constexpr std::uint8_t kDefaultCheckUpdates = 1;
inline constexpr int kDefaultPanel = 1;
inline constexpr int kPanelPageCount = 3;

// Days since 30 December 1899, the fraction being the time of day, as the Windows edition counts.
using TDateTime = double;
// 1 January 1900, 00:00: the value of a missing or unreadable LastRun.
inline constexpr TDateTime kLastRunDefault = 2.0;

extern std::string WoWPath;
extern std::int32_t Timeout;
extern bool SaveWindowPos;
extern bool MenuAutoPopup;
extern std::string ProgramToRunOnWoWLaunch;
extern bool OneInstanceOnly;
extern std::uint8_t CheckUpdates;
extern TDateTime LastRun;
// The command that starts Windows programs here (key WineCommand); empty when the file names none. Only
// read: the key is the user's own, and a save leaves its line as it stands.
extern std::string WineCommand;

// The settings that are the state of the main window's controls rather than variables of their own.
struct TWindowSettings
{
    bool FullInfo = false;
    int Panel = kDefaultPanel; // -1: no page is visible, so nothing is written
    int ServerIndex = 0;
    int WindowPosX = 0;
    int WindowPosY = 0;
};

// Reads section Main into the process-wide values and `window` (whose position is the read default),
// then stamps LastRun with the current time. False when the stamp could not be written.
bool LoadSettingsFrom(const std::string& iniPath, TWindowSettings& window);
// The same reading without the stamp, for a look at the file that must not change it. False when the
// file exists and cannot be read.
bool ReadSettingsFrom(const std::string& iniPath, TWindowSettings& window);
// Writes every setting in the order of the file's keys. False when the file could not be written.
bool SaveSettingsTo(const std::string& iniPath, const TWindowSettings& window);

// The list item a stored ServerIndex selects: itself when in range, else 0, or -1 for an empty list.
int SelectedIndexFor(int storedIndex, int count);
// Left or top edge that centres a window of `size` on a screen of `screen` pixels.
int CentredEdge(int screen, int size);

TDateTime NowAsDateTime();
// Text form that reads back to the same value whatever the user's locale; whole seconds.
std::string FormatDateTime(TDateTime value);
// Reads the form above, and the date forms older files hold; false for anything else.
bool ParseDateTime(const std::string& text, TDateTime& value);
