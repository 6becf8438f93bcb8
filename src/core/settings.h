// The settings of section "Main" of tavix.ini: the settings object, its load and save, and the date helpers.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

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

// The values of section Main that are settings of their own; the defaults are those a missing key reads as.
// Every member has an initializer, so a designated initializer may name only the values it sets.
struct TMainSettings
{
    std::string WoWPath{};
    std::int32_t Timeout = kDefaultTimeout;
    bool SaveWindowPos = false;
    bool MenuAutoPopup = true;
    std::string ProgramToRunOnWoWLaunch{};
    bool OneInstanceOnly = false;
    std::uint8_t CheckUpdates = kDefaultCheckUpdates;
    // The previous start's stamp: the file holds this start's from the moment the settings are loaded.
    TDateTime LastRun = kLastRunDefault;
    // The command that starts Windows programs here (key WineCommand); empty when the file names none. A save
    // writes it only when it is set or the file already has the key, so a Windows edition's file gains no key.
    std::string WineCommand{};
};

// The settings that are the state of the main window's controls rather than variables of their own.
struct TWindowSettings
{
    bool FullInfo = false;
    int Panel = kDefaultPanel; // -1: no page is visible, so nothing is written
    int ServerIndex = 0;
    int WindowPosX = 0;
    int WindowPosY = 0;
};

// Keeps one listener of TSettings subscribed for as long as it lives; the two may end in either order.
class TSettingsSubscription
{
public:
    TSettingsSubscription() = default;
    explicit TSettingsSubscription(std::shared_ptr<std::function<void()>> listener) : listener_(std::move(listener)) {}

private:
    std::shared_ptr<std::function<void()>> listener_;
};

// The settings of section Main, loaded and saved through the INI engine. One object, made at the
// start and handed to whoever reads or changes a setting; who shows a setting subscribes to its changes.
class TSettings
{
public:
    TSettings() = default;
    TSettings(const TSettings&) = delete;
    TSettings& operator=(const TSettings&) = delete;

    const TMainSettings& Values() const { return values_; }
    // Takes `values` and tells every listener. A saved settings dialog counts as a change even when no
    // value differs, so what follows the settings is redone as it always was after the dialog.
    void Apply(const TMainSettings& values);
    [[nodiscard]] TSettingsSubscription Subscribe(std::function<void()> listener);

    // Reads section Main into the values and `window` (whose position is the read default), then stamps
    // LastRun in the file with the current time. False when the stamp could not be written. Listeners
    // are not told: loading gives the values their first state, before anything shows them.
    bool Load(const std::string& iniPath, TWindowSettings& window);
    // The same reading without the stamp, for a look at the file that must not change it. False when the
    // file exists and cannot be read.
    bool Read(const std::string& iniPath, TWindowSettings& window);
    // Writes every setting in the order of the file's keys. False when the file could not be written.
    bool Save(const std::string& iniPath, const TWindowSettings& window) const;

private:
    TMainSettings values_;
    std::vector<std::weak_ptr<std::function<void()>>> listeners_;
};

// The list item a stored ServerIndex selects: itself when in range, else 0, or -1 for an empty list.
int SelectedIndexFor(int storedIndex, int count);
// Left or top edge that centres a window of `size` on a screen of `screen` pixels.
int CentredEdge(int screen, int size);

TDateTime NowAsDateTime();
// Text form that reads back to the same value whatever the user's locale; whole seconds.
std::string FormatDateTime(TDateTime value);
// Reads the form above, and the date forms older files hold; false for anything else.
bool ParseDateTime(const std::string& text, TDateTime& value);
