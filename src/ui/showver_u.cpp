#include "ui/showver_u.h"

#include "game/getver_u.h"
#include "ui/msgbox_u.h"

void ShowGameVersion(QWidget* owner, const std::string& path)
{
    ShowPlain(owner, GameVersionMessage(path));
}
