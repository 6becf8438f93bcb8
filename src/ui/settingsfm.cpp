#include "ui/settingsfm.h"

#include "core/settings.h"
#include "ui/filepick.h"
#include "ui/msgbox.h"
#include "ui/showver.h"
#include "ui/skinstyle.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {

constexpr const char* kGameFilter = "wow.exe|wow.exe";
constexpr const char* kWineFilter = "Wine|wine;wine64";
constexpr const char* kProgramFilter = "*.exe, *.com, *.bat, *.cmd|*.exe;*.com;*.bat;*.cmd";
template <typename T> T* Named(T* widget, const char* name)
{
    widget->setObjectName(name);
    return widget;
}

// Stepped with its arrows or the arrow keys, never typed into, so it always holds a value in range.
class TStepSpinBox : public QSpinBox
{
public:
    explicit TStepSpinBox(QWidget* parent) : QSpinBox(parent) { lineEdit()->setReadOnly(true); }
};

// The text stands left of its box.
QCheckBox* TextFirst(QCheckBox* box)
{
    box->setLayoutDirection(Qt::RightToLeft);
    return box;
}

} // namespace

TSettingsForm::TSettingsForm(QWidget* parent) : QDialog(parent)
{
    setObjectName("SettingsForm");
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                   Qt::WindowSystemMenuHint);
    LabWoWPath = Named(new QLabel(this), "LabWoWPath");
    EditWoWPath = Named(new QLineEdit(this), "EditWoWPath");
    BtnWoWPath = Named(new QPushButton(this), "BtnWoWPath");
    BtnGetVer = Named(new QPushButton(this), "BtnGetVer");
    LabNote = Named(new QLabel(this), "LabNote");
    LabNote->setWordWrap(true);
    ChRunProgram = Named(new QCheckBox(this), "ChRunProgram");
    ChOneInstance = Named(new QCheckBox(this), "ChOneInstance");
    EditRunProgram = Named(new QLineEdit(this), "EditRunProgram");
    BtnRunProgram = Named(new QPushButton(this), "BtnRunProgram");
    LabWineCommand = Named(new QLabel(this), "LabWineCommand");
    EditWineCommand = Named(new QLineEdit(this), "EditWineCommand");
    BtnWineCommand = Named(new QPushButton(this), "BtnWineCommand");
    LabWineCommand->setBuddy(EditWineCommand);
    LabTimeout = Named(new QLabel(this), "LabTimeout");
    SpinTimeout = Named(new TStepSpinBox(this), "SpinTimeout");
    SpinTimeout->setRange(kMinTimeout, kMaxTimeout);
    SpinTimeout->setSingleStep(kTimeoutStep);
    SpinTimeout->setValue(kDefaultTimeout);
    LabTimeout->setBuddy(SpinTimeout);
    ChSaveWinPos = TextFirst(Named(new QCheckBox(this), "ChSaveWinPos"));
    ChAutoPopup = TextFirst(Named(new QCheckBox(this), "ChAutoPopup"));
    LabCheckUpdates = Named(new QLabel(this), "LabCheckUpdates");
    cbCheckUpdates = Named(new QComboBox(this), "cbCheckUpdates");
    for (int i = 0; i < kCheckUpdatesChoices; ++i)
        cbCheckUpdates->addItem(QString());
    LabCheckUpdates->setBuddy(cbCheckUpdates);
    btnSave = Named(new QPushButton(this), "btnSave");
    btnSave->setDefault(true);
    BtnCancel = Named(new QPushButton(this), "BtnCancel");
    for (QPushButton* b : {BtnWoWPath, BtnGetVer, BtnRunProgram, BtnWineCommand, BtnCancel})
        b->setAutoDefault(false);
    connect(btnSave, &QPushButton::clicked, this, &QDialog::accept);
    connect(BtnCancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* grid = new QGridLayout(this);
    grid->setColumnMinimumWidth(0, kDialogDependentIndent);
    grid->setColumnStretch(1, 1);
    int row = 0;
    grid->addWidget(LabWoWPath, row++, 0, 1, 4);
    grid->addWidget(EditWoWPath, row++, 0, 1, 4);
    auto* pathButtons = new QHBoxLayout;
    pathButtons->addStretch(1);
    pathButtons->addWidget(BtnWoWPath);
    pathButtons->addWidget(BtnGetVer);
    grid->addLayout(pathButtons, row++, 0, 1, 4);
    grid->addWidget(LabNote, row++, 0, 1, 4);
    grid->addWidget(ChRunProgram, row++, 0, 1, 4);
    grid->addWidget(ChOneInstance, row++, 1, 1, 3);
    grid->addWidget(EditRunProgram, row, 0, 1, 3);
    grid->addWidget(BtnRunProgram, row++, 3);
#ifdef Q_OS_WIN
    // Windows starts its programs itself.
    for (QWidget* w : std::initializer_list<QWidget*>{LabWineCommand, EditWineCommand, BtnWineCommand})
        w->hide();
#else
    grid->addWidget(LabWineCommand, row++, 0, 1, 4);
    grid->addWidget(EditWineCommand, row, 0, 1, 3);
    grid->addWidget(BtnWineCommand, row++, 3);
#endif
    grid->addWidget(LabTimeout, row, 0, 1, 2);
    grid->addWidget(SpinTimeout, row++, 2, 1, 2);
    grid->addWidget(ChSaveWinPos, row++, 0, 1, 4, Qt::AlignLeft);
    grid->addWidget(ChAutoPopup, row++, 0, 1, 4, Qt::AlignLeft);
    grid->addWidget(LabCheckUpdates, row, 0, 1, 2);
    grid->addWidget(cbCheckUpdates, row++, 2, 1, 2);
    grid->setRowStretch(row++, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btnSave);
    buttons->addWidget(BtnCancel);
    grid->addLayout(buttons, row++, 0, 1, 4);

    SetTabOrder();
    EditRunProgram->setEnabled(false);
    BtnRunProgram->setEnabled(false);
    ChOneInstance->setEnabled(false);

    connect(EditWoWPath, &QLineEdit::textChanged, this, &TSettingsForm::EditWoWPathChange);
    connect(EditRunProgram, &QLineEdit::textChanged, this, &TSettingsForm::EditWoWPathChange);
    connect(ChRunProgram, &QCheckBox::toggled, this, &TSettingsForm::ChRunProgramClick);
    connect(ChOneInstance, &QCheckBox::toggled, this, &TSettingsForm::ChRunProgramClick);
    connect(BtnWoWPath, &QPushButton::clicked, this, &TSettingsForm::BtnWoWPathClick);
    connect(BtnRunProgram, &QPushButton::clicked, this, &TSettingsForm::BtnRunProgramClick);
    connect(BtnGetVer, &QPushButton::clicked, this, &TSettingsForm::BtnGetVerClick);
    connect(BtnWineCommand, &QPushButton::clicked, this, &TSettingsForm::BtnWineCommandClick);
}

void TSettingsForm::SetTabOrder()
{
    QWidget* order[] = {EditWoWPath,    BtnWoWPath,    BtnGetVer,       ChRunProgram,   ChOneInstance,
                        EditRunProgram, BtnRunProgram, EditWineCommand, BtnWineCommand, SpinTimeout,
                        ChSaveWinPos,   ChAutoPopup,   cbCheckUpdates,  btnSave,        BtnCancel};
    for (std::size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);
}

void TSettingsForm::Fill(const TMainSettings& settings)
{
    filled_ = settings;
    EditWoWPath->setText(ToQString(settings.WoWPath));
    SpinTimeout->setValue(settings.Timeout);
    ChSaveWinPos->setChecked(settings.SaveWindowPos);
    ChAutoPopup->setChecked(settings.MenuAutoPopup);
    ChRunProgram->setChecked(!settings.ProgramToRunOnWoWLaunch.empty());
    ChOneInstance->setChecked(settings.OneInstanceOnly);
    EditRunProgram->setEnabled(ChRunProgram->isChecked());
    BtnRunProgram->setEnabled(ChRunProgram->isChecked());
    EditRunProgram->setText(ToQString(settings.ProgramToRunOnWoWLaunch));
    EditWineCommand->setText(ToQString(settings.WineCommand));
    // A period the list does not name selects nothing and is kept as it is.
    cbCheckUpdates->setCurrentIndex(settings.CheckUpdates < kCheckUpdatesChoices ? settings.CheckUpdates : -1);
}

std::string TSettingsForm::ReadBack(const QLineEdit* edit, const std::string& filled) const
{
    return edit->text() == ToQString(filled) ? filled : FromQString(edit->text());
}

TMainSettings TSettingsForm::Values() const
{
    TMainSettings values = filled_;
    values.WoWPath = ReadBack(EditWoWPath, filled_.WoWPath);
    values.Timeout = SpinTimeout->value();
    values.SaveWindowPos = ChSaveWinPos->isChecked();
    values.MenuAutoPopup = ChAutoPopup->isChecked();
    if (const int period = cbCheckUpdates->currentIndex(); period >= 0)
        values.CheckUpdates = static_cast<std::uint8_t>(period);
    values.ProgramToRunOnWoWLaunch =
        ChRunProgram->isChecked() ? ReadBack(EditRunProgram, filled_.ProgramToRunOnWoWLaunch) : std::string();
    values.OneInstanceOnly = ChOneInstance->isChecked();
    values.WineCommand = ReadBack(EditWineCommand, filled_.WineCommand);
    return values;
}

void TSettingsForm::setVisible(bool visible)
{
    // Fixed, and large enough for the texts the localizer put in.
    if (visible)
        setFixedSize(sizeHint().expandedTo({kSettingsFormWidth, kSettingsFormHeight}));
    QDialog::setVisible(visible);
}

void TSettingsForm::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void TSettingsForm::FormShow()
{
    EditWoWPath->setFocus();
    EditWoWPathChange();
}

void TSettingsForm::EditWoWPathChange()
{
    BtnGetVer->setEnabled(!EditWoWPath->text().isEmpty());
}

void TSettingsForm::ChRunProgramClick()
{
    const bool run = ChRunProgram->isChecked();
    BtnRunProgram->setEnabled(run);
    EditRunProgram->setEnabled(run);
    ChOneInstance->setEnabled(run);
}

void TSettingsForm::BtnWoWPathClick()
{
    QString picked = PickExistingFile(this, EditWoWPath->text(), QString::fromUtf8(kGameFilter));
    if (!picked.isEmpty())
        EditWoWPath->setText(picked);
}

void TSettingsForm::BtnRunProgramClick()
{
    QString picked = PickExistingFile(this, EditRunProgram->text(), QString::fromUtf8(kProgramFilter));
    if (!picked.isEmpty())
        EditRunProgram->setText(picked);
}

void TSettingsForm::BtnGetVerClick()
{
    ShowGameVersion(this, ReadBack(EditWoWPath, filled_.WoWPath));
}

void TSettingsForm::BtnWineCommandClick()
{
    QString picked = PickExistingFile(this, EditWineCommand->text(), QString::fromUtf8(kWineFilter));
    if (!picked.isEmpty())
        EditWineCommand->setText(picked);
}
