#include "ui/showver.h"

#include "game/getver_u.h"
#include "ui/msgbox.h"

void ShowGameVersion(QWidget* owner, const std::string& path)
{
    ShowPlain(owner, GameVersionMessage(path));
}
