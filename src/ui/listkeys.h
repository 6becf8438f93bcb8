// The server list's keyboard table: which window command a key sets off, decided without a window.
#pragma once

#include <Qt>

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
