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

QList<QKeyCombination> WindowKeysOf(TListCommand command, bool ownOnly)
{
    QList<QKeyCombination> keys;
    for (const TWindowKey& key : kWindowKeys)
        if (key.command == command && !(ownOnly && key.listKey))
            keys.append(key.key);
    return keys;
}

bool TypesIntoSearch(const QString& text, Qt::KeyboardModifiers modifiers)
{
    if (modifiers & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        return false;
    if (text.isEmpty())
        return false;
    for (const QChar c : text)
        if (!c.isPrint() || c.isSpace())
            return false;
    return true;
}

bool TTypeAhead::Continues(qint64 nowMs) const
{
    return !prefix_.isEmpty() && nowMs - lastMs_ < kTypeAheadResetMs;
}

int TTypeAhead::Type(const QString& text, qint64 nowMs, const QStringList& names, int current)
{
    const bool fresh = !Continues(nowMs);
    prefix_ = fresh ? text : prefix_ + text;
    lastMs_ = nowMs;
    const int count = static_cast<int>(names.size());
    if (count == 0)
        return -1;
    // The same letter again walks through the rows that begin with it, as lists on the desktop do.
    QString wanted = prefix_;
    bool repeated = prefix_.size() > 1;
    for (const QChar c : prefix_)
        if (c.toCaseFolded() != prefix_.front().toCaseFolded())
            repeated = false;
    if (repeated)
        wanted = prefix_.left(1);
    // A longer prefix may still fit the row already selected; a new search or a repeat moves on.
    const int first = (fresh || repeated || current < 0) ? current + 1 : current;
    for (int step = 0; step < count; ++step) {
        const int row = ((first + step) % count + count) % count;
        if (names[row].startsWith(wanted, Qt::CaseInsensitive))
            return row;
    }
    return -1;
}
