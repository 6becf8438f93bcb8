// Captions of the dialogs from the edition's text table, set right after each dialog is made.
#pragma once

class TAddForm;
class TSettingsForm;
class TAboutForm;

void LocalizeAddForm(TAddForm& form, bool editMode);
void LocalizeSettingsForm(TSettingsForm& form);
void LocalizeAboutForm(TAboutForm& form);
