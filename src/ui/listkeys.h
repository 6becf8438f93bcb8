// The server list's keyboard table: which window command a key sets off, decided without a window; the
// window's own keys, which act wherever its focus is; and the search by name that typed letters drive.
#pragma once

#include <QKeyCombination>
#include <QString>
#include <QStringList>
#include <Qt>
#include <limits>

enum class TListCommand
{
    None,
    Play,
    Close,
    ToggleInfoPanel,
    EditServer,
    AddServer,
    RemoveServer,
    InfoPage1,
    InfoPage2,
    InfoPage0,
    NextInfoPage,
    OpenMenu,
    RefreshAll,
    PreviousNews,
    NextNews,
    MoveUp,
    MoveDown,
    SelectionStep,
};

// When a key goes down, before the list moves its selection.
TListCommand ListKeyDownCommand(int key, Qt::KeyboardModifiers modifiers);
// For the character a key typed.
TListCommand ListKeyPressCommand(int key, Qt::KeyboardModifiers modifiers);
// When a key comes up, after the list has moved its selection.
TListCommand ListKeyUpCommand(int key, Qt::KeyboardModifiers modifiers);

// A key of the window's own, besides the list's: it acts wherever the window's focus is, and a menu item or
// a tooltip names it.
struct TWindowKey
{
    QKeyCombination key;
    TListCommand command;
    // Also a key of the list above: named in the tooltips, but left to the list to act on.
    bool listKey = false;
};

// In the order the tooltips name them; the first of a command is the one its menu item shows.
inline constexpr TWindowKey kWindowKeys[] = {
    {QKeyCombination(Qt::KeypadModifier, Qt::Key_Plus), TListCommand::AddServer, true},
    {QKeyCombination(Qt::ControlModifier, Qt::Key_N), TListCommand::AddServer},
    {QKeyCombination(Qt::Key_Insert), TListCommand::AddServer},
    {QKeyCombination(Qt::KeypadModifier, Qt::Key_Minus), TListCommand::RemoveServer, true},
    {QKeyCombination(Qt::Key_Delete), TListCommand::RemoveServer},
    {QKeyCombination(Qt::KeypadModifier, Qt::Key_Asterisk), TListCommand::EditServer, true},
    {QKeyCombination(Qt::Key_F2), TListCommand::EditServer},
    {QKeyCombination(Qt::Key_Escape), TListCommand::Close, true},
    {QKeyCombination(Qt::ControlModifier, Qt::Key_Q), TListCommand::Close},
    {QKeyCombination(Qt::AltModifier, Qt::Key_Up), TListCommand::MoveUp, true},
    {QKeyCombination(Qt::AltModifier, Qt::Key_Down), TListCommand::MoveDown, true},
};

// The window's buttons whose tooltip names the keys of their command.
struct TButtonCommand
{
    const char* button;
    TListCommand command;
};
inline constexpr TButtonCommand kButtonCommands[] = {
    {"BtnAdd", TListCommand::AddServer},   {"BtnRemove", TListCommand::RemoveServer},
    {"BtnEdit", TListCommand::EditServer}, {"BtnClose", TListCommand::Close},
    {"BtnUp", TListCommand::MoveUp},       {"BtnDown", TListCommand::MoveDown},
};

// The keys of `command` in the table's order; `ownOnly` leaves out those the list acts on.
QList<QKeyCombination> WindowKeysOf(TListCommand command, bool ownOnly = false);

// After this long without a typed character, the next one starts a new search.
inline constexpr qint64 kTypeAheadResetMs = 1000;

// Whether the character a key typed goes to the search by name: printable, not a space, and typed
// without Ctrl, Alt or Meta.
bool TypesIntoSearch(const QString& text, Qt::KeyboardModifiers modifiers);

// The search by name: each typed character extends the prefix, and the selection goes to the first row
// from the current one on (the next one, for a new search) whose name begins with it, in any case.
class TTypeAhead
{
public:
    // True while a character typed now would extend the prefix rather than start a new one.
    bool Continues(qint64 nowMs) const;
    // `text` typed at `nowMs` over rows `names` with `current` selected: the row to select, -1 for none.
    int Type(const QString& text, qint64 nowMs, const QStringList& names, int current);
    QString Prefix() const { return prefix_; }

private:
    QString prefix_;
    qint64 lastMs_ = std::numeric_limits<qint64>::min() / 2;
};
