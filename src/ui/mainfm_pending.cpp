// Commands of the window whose work lands later (dialogs, information panel, news, update). Each is
// wired to its menu item, button or key already; whoever builds one deletes its line here.
#include "ui/mainfm.h"

void TMainForm::ItemUpdateClick() {}
