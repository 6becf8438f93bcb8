// The settings dialog: shows the program-wide settings and copies them back when the user saves.
// It checks nothing; the game launch reports a wrong game path when it is used.
#pragma once

#include "core/settings.h"

#include <QDialog>
#include <cstdint>
#include <string>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

inline constexpr int kSettingsFormWidth = 353;
inline constexpr int kSettingsFormHeight = 312;
inline constexpr int kTimeoutStep = 100;
inline constexpr int kCheckUpdatesChoices = 4;

class TSettingsForm : public QDialog
{
    Q_OBJECT

public:
    explicit TSettingsForm(QWidget* parent = nullptr);

    // From the settings into the controls.
    void Fill(const TMainSettings& settings);
    // The settings as the controls now have them; what the dialog does not show stays as filled.
    TMainSettings Values() const;

    void setVisible(bool visible) override;

    // The controls, named as the layout names them.
    QLabel* LabWoWPath = nullptr;
    QLineEdit* EditWoWPath = nullptr;
    QPushButton* BtnWoWPath = nullptr;
    QPushButton* BtnGetVer = nullptr;
    QLabel* LabNote = nullptr;
    QCheckBox* ChRunProgram = nullptr;
    QCheckBox* ChOneInstance = nullptr;
    QLineEdit* EditRunProgram = nullptr;
    QPushButton* BtnRunProgram = nullptr;
    // The command that starts Windows programs; not shown in a Windows build.
    QLabel* LabWineCommand = nullptr;
    QLineEdit* EditWineCommand = nullptr;
    QPushButton* BtnWineCommand = nullptr;
    QLabel* LabTimeout = nullptr;
    QSpinBox* SpinTimeout = nullptr;
    QCheckBox* ChSaveWinPos = nullptr;
    QCheckBox* ChAutoPopup = nullptr;
    QLabel* LabCheckUpdates = nullptr;
    QComboBox* cbCheckUpdates = nullptr;
    QPushButton* btnSave = nullptr;
    QPushButton* BtnCancel = nullptr;

protected:
    void showEvent(QShowEvent* event) override;

private slots:
    void FormShow();
    void EditWoWPathChange();
    void ChRunProgramClick();
    void BtnWoWPathClick();
    void BtnRunProgramClick();
    void BtnGetVerClick();
    void BtnWineCommandClick();

private:
    void SetTabOrder();
    std::string ReadBack(const QLineEdit* edit, const std::string& filled) const;

    // The settings as filled in, so untouched texts keep their bytes.
    TMainSettings filled_;
};
