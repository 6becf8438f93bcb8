#include "ui/listkeys.h"

TListCommand ListKeyDownCommand(int key, Qt::KeyboardModifiers modifiers)
{
    const bool keypad = modifiers & Qt::KeypadModifier;
    // These act whatever else is held.
    switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return TListCommand::Play;
    case Qt::Key_Escape:
        return TListCommand::Close;
    case Qt::Key_Space:
        return TListCommand::ToggleInfoPanel;
    case Qt::Key_Asterisk:
        return keypad ? TListCommand::EditServer : TListCommand::None;
    case Qt::Key_Plus:
        return keypad ? TListCommand::AddServer : TListCommand::None;
    case Qt::Key_Minus:
        return keypad ? TListCommand::RemoveServer : TListCommand::None;
    default:
        break;
    }
    if (modifiers & Qt::AltModifier) {
        switch (key) {
        case Qt::Key_1:
            return TListCommand::InfoPage1;
        case Qt::Key_2:
            return TListCommand::InfoPage2;
        case Qt::Key_3:
            return TListCommand::InfoPage0;
        default:
            break;
        }
    }
    if ((modifiers & Qt::ControlModifier) && key == Qt::Key_Tab)
        return TListCommand::NextInfoPage;
    return TListCommand::None;
}

TListCommand ListKeyPressCommand(int key, Qt::KeyboardModifiers modifiers)
{
    // With Ctrl or Alt the key types no character.
    if (modifiers & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        return TListCommand::None;
    switch (key) {
    case Qt::Key_M:
        return TListCommand::OpenMenu;
    case Qt::Key_R:
        return TListCommand::RefreshAll;
    default:
        return TListCommand::None;
    }
}

TListCommand ListKeyUpCommand(int key, Qt::KeyboardModifiers modifiers)
{
    const bool alt = modifiers & Qt::AltModifier;
    switch (key) {
    case Qt::Key_Left:
        return alt ? TListCommand::PreviousNews : TListCommand::SelectionStep;
    case Qt::Key_Up:
        return alt ? TListCommand::MoveUp : TListCommand::SelectionStep;
    case Qt::Key_Right:
        return alt ? TListCommand::NextNews : TListCommand::SelectionStep;
    case Qt::Key_Down:
        return alt ? TListCommand::MoveDown : TListCommand::SelectionStep;
    default:
        return TListCommand::None;
    }
}
