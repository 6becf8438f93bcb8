#include "ui/addfm.h"

#include "core/ini.h"
#include "core/localization_u.h"
#include "core/servers_u.h"
#include "ui/filepick.h"
#include "ui/msgbox.h"
#include "ui/showver.h"
#include "ui/skinstyle.h"
#include "ui/weblink.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QTabWidget>
#include <QVBoxLayout>

#include <optional>

namespace {

// The preloader may be a program, a command file or a batch file; the description is the same in
// every edition.
constexpr const char* kPreloaderFilter = "Spustitelné soubory|*.exe;*.com;*.bat";
constexpr const char* kGameFilter = "WoW.exe|wow.exe";
constexpr const char* kWineFilter = "Wine|wine;wine64";

QLineEdit* MakeEdit(QWidget* parent, const char* name)
{
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(name);
    edit->setMaxLength(kServerEditMaxLength);
    return edit;
}

template <typename T> T* Named(T* widget, const char* name)
{
    widget->setObjectName(name);
    return widget;
}

// What the INI reader trims from either end of a name; Ctrl-Z counts as it does for the Windows reader.
bool IsBlank(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\v' || c == u'\f' || c == QChar(0x1A);
}

// A stored text may be longer than a user may type; filling it must not cut it.
void SetFilledText(QLineEdit* edit, const std::string& text, int maxLength = kServerEditMaxLength)
{
    QString shown = ToQString(text);
    edit->setMaxLength(std::max(maxLength, static_cast<int>(shown.size())));
    edit->setText(shown);
}

} // namespace

TServerTextProblem NameProblem(const QString& name)
{
    if (name.isEmpty())
        return TServerTextProblem::Empty;
    const std::string stored = FromQString(name);
    // The store has the last word; the rest only says why it would refuse.
    if (IsStorableServerName(stored))
        return TServerTextProblem::None;
    if (HoldsLineBreak(name))
        return TServerTextProblem::LineBreak;
    if (IsBlank(name.front()) || IsBlank(name.back()))
        return TServerTextProblem::BlankAtEdge;
    if (EqualNames(stored, kSettingsSection))
        return TServerTextProblem::Reserved;
    return TServerTextProblem::Unstorable;
}

bool HoldsLineBreak(const QString& text)
{
    return text.contains(u'\n') || text.contains(u'\r');
}

TAddForm::TAddForm(QWidget* parent) : QDialog(parent)
{
    setObjectName("AddForm");
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                   Qt::WindowSystemMenuHint);
    PageControl = Named(new QTabWidget(this), "PageControl");
    BuildBasicPage();
    BuildAdditionalPage();
    BuildLinuxPage();

    LabProblem = Named(new QLabel(this), "LabProblem");
    LabProblem->setWordWrap(true);
    BtnAdd = Named(new QPushButton(this), "BtnAdd");
    BtnAdd->setDefault(true);
    BtnAdd->setAutoDefault(true);
    BtnCancel = Named(new QPushButton(this), "BtnCancel");
    BtnCancel->setAutoDefault(false);
    connect(BtnAdd, &QPushButton::clicked, this, &QDialog::accept);
    connect(BtnCancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(LabProblem, 1);
    buttons->addWidget(BtnAdd, 0, Qt::AlignBottom);
    buttons->addWidget(BtnCancel, 0, Qt::AlignBottom);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(PageControl, 1);
    layout->addLayout(buttons);

    SetTabOrder();
    // The state of a freshly made dialog: nothing filled, nothing to add yet.
    BtnAdd->setEnabled(false);
    BtnVisit->setEnabled(false);
    EditOwnPatchlist->setEnabled(false);
    EditPreloaderPath->setEnabled(false);
    BtnSetPreloader->setEnabled(false);
    EditAltPath->setEnabled(false);
    BtnSetAltPath->setEnabled(false);
    ResetServerTypes(0);
    EditAltPathChange();

    connect(EditServerName, &QLineEdit::textChanged, this, &TAddForm::EditServerNameChange);
    connect(EditServerAddress, &QLineEdit::textChanged, this, &TAddForm::EditServerAddressChange);
    connect(EditServerSite, &QLineEdit::textChanged, this, &TAddForm::EditServerSiteChange);
    connect(EditAltPath, &QLineEdit::textChanged, this, &TAddForm::EditAltPathChange);
    connect(ChOwnPatchlist, &QCheckBox::toggled, this, &TAddForm::ChOwnPatchlistClick);
    connect(ChPreloader, &QCheckBox::toggled, this, &TAddForm::ChPreloaderClick);
    connect(ChAltPath, &QCheckBox::toggled, this, &TAddForm::ChAltPathClick);
    connect(BtnSetPreloader, &QPushButton::clicked, this, &TAddForm::BtnSetPreloaderClick);
    connect(BtnSetAltPath, &QPushButton::clicked, this, &TAddForm::BtnSetAltPathClick);
    connect(BtnGetVer, &QPushButton::clicked, this, &TAddForm::BtnGetVerClick);
    connect(BtnVisit, &QPushButton::clicked, this, &TAddForm::BtnVisitClick);
    connect(BtnSetWine, &QPushButton::clicked, this, &TAddForm::BtnSetWineClick);
    connect(BtnSetWinePrefix, &QPushButton::clicked, this, &TAddForm::BtnSetWinePrefixClick);
    // Texts that cannot be stored are refused whichever edit holds them.
    for (QLineEdit* edit : {EditOwnPatchlist, EditPreloaderPath, EditAltPath, EditRSSChannel, EditServerSite,
                            EditServerInfo, EditWineCommand, EditWinePrefix, EditEnvironment, EditGameArguments})
        connect(edit, &QLineEdit::textChanged, this, &TAddForm::UpdateAddButton);
}

void TAddForm::BuildBasicPage()
{
    TabSheet1 = Named(new QWidget, "TabSheet1");
    LabServerName = Named(new QLabel(TabSheet1), "LabServerName");
    EditServerName = MakeEdit(TabSheet1, "EditServerName");
    LabServerAddress = Named(new QLabel(TabSheet1), "LabServerAddress");
    EditServerAddress = MakeEdit(TabSheet1, "EditServerAddress");
    LabServerName->setBuddy(EditServerName);
    LabServerAddress->setBuddy(EditServerAddress);

    auto* layout = new QVBoxLayout(TabSheet1);
    layout->addWidget(LabServerName);
    layout->addWidget(EditServerName);
    layout->addSpacing(layout->spacing());
    layout->addWidget(LabServerAddress);
    layout->addWidget(EditServerAddress);
    layout->addStretch(1);
    PageControl->addTab(TabSheet1, QString());
}

void TAddForm::BuildAdditionalPage()
{
    TabSheet2 = Named(new QWidget, "TabSheet2");

    GBServerSettings = Named(new QGroupBox(TabSheet2), "GBServerSettings");
    ChOwnPatchlist = Named(new QCheckBox(GBServerSettings), "ChOwnPatchlist");
    EditOwnPatchlist = MakeEdit(GBServerSettings, "EditOwnPatchlist");
    ChPreloader = Named(new QCheckBox(GBServerSettings), "ChPreloader");
    EditPreloaderPath = MakeEdit(GBServerSettings, "EditPreloaderPath");
    BtnSetPreloader = Named(new QPushButton(GBServerSettings), "BtnSetPreloader");
    ChAltPath = Named(new QCheckBox(GBServerSettings), "ChAltPath");
    EditAltPath = MakeEdit(GBServerSettings, "EditAltPath");
    BtnGetVer = Named(new QPushButton(GBServerSettings), "BtnGetVer");
    BtnSetAltPath = Named(new QPushButton(GBServerSettings), "BtnSetAltPath");
    ChAutoCacheClear = Named(new QCheckBox(GBServerSettings), "ChAutoCacheClear");
    for (QPushButton* b : {BtnSetPreloader, BtnGetVer, BtnSetAltPath})
        b->setAutoDefault(false);

    auto* settings = new QGridLayout(GBServerSettings);
    settings->setColumnMinimumWidth(0, kDialogDependentIndent);
    settings->setColumnStretch(1, 1);
    int row = 0;
    settings->addWidget(ChOwnPatchlist, row++, 0, 1, 4);
    settings->addWidget(EditOwnPatchlist, row++, 1, 1, 3);
    settings->addWidget(ChPreloader, row++, 0, 1, 4);
    settings->addWidget(EditPreloaderPath, row, 1, 1, 2);
    settings->addWidget(BtnSetPreloader, row++, 3);
    settings->addWidget(ChAltPath, row++, 0, 1, 4);
    settings->addWidget(EditAltPath, row, 1);
    settings->addWidget(BtnGetVer, row, 2);
    settings->addWidget(BtnSetAltPath, row++, 3);
    settings->addWidget(ChAutoCacheClear, row++, 0, 1, 4);

    GBServerInfo = Named(new QGroupBox(TabSheet2), "GBServerInfo");
    LabServerType = Named(new QLabel(GBServerInfo), "LabServerType");
    ComboServerType = Named(new QComboBox(GBServerInfo), "ComboServerType");
    ComboServerType->setEditable(false);
    LabRSSChannel = Named(new QLabel(GBServerInfo), "LabRSSChannel");
    EditRSSChannel = MakeEdit(GBServerInfo, "EditRSSChannel");
    LabServerSite = Named(new QLabel(GBServerInfo), "LabServerSite");
    EditServerSite = MakeEdit(GBServerInfo, "EditServerSite");
    BtnVisit = Named(new QPushButton(GBServerInfo), "BtnVisit");
    BtnVisit->setAutoDefault(false);
    LabServerInfo = Named(new QLabel(GBServerInfo), "LabServerInfo");
    EditServerInfo = MakeEdit(GBServerInfo, "EditServerInfo");
    LabServerType->setBuddy(ComboServerType);
    LabRSSChannel->setBuddy(EditRSSChannel);
    LabServerSite->setBuddy(EditServerSite);
    LabServerInfo->setBuddy(EditServerInfo);

    auto* info = new QGridLayout(GBServerInfo);
    info->setColumnStretch(1, 1);
    row = 0;
    info->addWidget(LabServerType, row, 0);
    info->addWidget(ComboServerType, row++, 1, Qt::AlignLeft);
    info->addWidget(LabRSSChannel, row, 0);
    info->addWidget(EditRSSChannel, row++, 1, 1, 2);
    info->addWidget(LabServerSite, row, 0);
    info->addWidget(EditServerSite, row, 1);
    info->addWidget(BtnVisit, row++, 2);
    info->addWidget(LabServerInfo, row, 0);
    info->addWidget(EditServerInfo, row++, 1, 1, 2);

    auto* layout = new QVBoxLayout(TabSheet2);
    layout->addWidget(GBServerSettings);
    layout->addWidget(GBServerInfo);
    layout->addStretch(1);
    PageControl->addTab(TabSheet2, QString());
}

void TAddForm::BuildLinuxPage()
{
    // Parented to the dialog even where it is no page of it, so the controls always exist and are freed.
    TabSheet3 = Named(new QWidget(this), "TabSheet3");
    LabWineCommand = Named(new QLabel(TabSheet3), "LabWineCommand");
    EditWineCommand = MakeEdit(TabSheet3, "EditWineCommand");
    BtnSetWine = Named(new QPushButton(TabSheet3), "BtnSetWine");
    LabWinePrefix = Named(new QLabel(TabSheet3), "LabWinePrefix");
    EditWinePrefix = MakeEdit(TabSheet3, "EditWinePrefix");
    BtnSetWinePrefix = Named(new QPushButton(TabSheet3), "BtnSetWinePrefix");
    LabEnvironment = Named(new QLabel(TabSheet3), "LabEnvironment");
    EditEnvironment = MakeEdit(TabSheet3, "EditEnvironment");
    LabGameArguments = Named(new QLabel(TabSheet3), "LabGameArguments");
    EditGameArguments = MakeEdit(TabSheet3, "EditGameArguments");
    for (QLineEdit* edit : {EditWineCommand, EditWinePrefix, EditEnvironment, EditGameArguments})
        edit->setMaxLength(kWineEditMaxLength);
    for (QPushButton* b : {BtnSetWine, BtnSetWinePrefix})
        b->setAutoDefault(false);
    LabWineCommand->setBuddy(EditWineCommand);
    LabWinePrefix->setBuddy(EditWinePrefix);
    LabEnvironment->setBuddy(EditEnvironment);
    LabGameArguments->setBuddy(EditGameArguments);

    auto* grid = new QGridLayout(TabSheet3);
    grid->setColumnStretch(0, 1);
    int row = 0;
    grid->addWidget(LabWineCommand, row++, 0, 1, 2);
    grid->addWidget(EditWineCommand, row, 0);
    grid->addWidget(BtnSetWine, row++, 1);
    grid->addWidget(LabWinePrefix, row++, 0, 1, 2);
    grid->addWidget(EditWinePrefix, row, 0);
    grid->addWidget(BtnSetWinePrefix, row++, 1);
    grid->addWidget(LabEnvironment, row++, 0, 1, 2);
    grid->addWidget(EditEnvironment, row++, 0, 1, 2);
    grid->addWidget(LabGameArguments, row++, 0, 1, 2);
    grid->addWidget(EditGameArguments, row++, 0, 1, 2);
    grid->setRowStretch(row, 1);
#ifdef Q_OS_WIN
    // Windows starts the game itself; there is no Wine to set up.
    TabSheet3->hide();
#else
    PageControl->addTab(TabSheet3, QString());
#endif
}

void TAddForm::SetTabOrder()
{
    QWidget* order[] = {EditServerName,    EditServerAddress, ChOwnPatchlist,    EditOwnPatchlist, ChPreloader,
                        EditPreloaderPath, BtnSetPreloader,   ChAltPath,         EditAltPath,      BtnGetVer,
                        BtnSetAltPath,     ChAutoCacheClear,  ComboServerType,   EditRSSChannel,   EditServerSite,
                        BtnVisit,          EditServerInfo,    EditWineCommand,   BtnSetWine,       EditWinePrefix,
                        BtnSetWinePrefix,  EditEnvironment,   EditGameArguments, BtnAdd,           BtnCancel};
    for (std::size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);
}

void TAddForm::ResetServerTypes(std::uint8_t type)
{
    ComboServerType->clear();
    ComboServerType->addItem(ToQString(Msg(TTextId::NoValue)));
    for (int i = 1; i < kServerTypeCount; ++i)
        ComboServerType->addItem(ToQString(ServerTypeNames[static_cast<std::size_t>(i)]));
    // A type the table does not name selects nothing and is kept as it is.
    ComboServerType->setCurrentIndex(type < kServerTypeCount ? type : -1);
}

void TAddForm::FillNew()
{
    filled_ = TServer{};
    EditServerName->clear();
    EditServerName->setEnabled(true);
    EditServerAddress->clear();
    ResetServerTypes(0);
    EditServerSite->clear();
    BtnVisit->setEnabled(false);
    EditServerInfo->clear();
    for (QCheckBox* box : {ChPreloader, ChAltPath, ChOwnPatchlist, ChAutoCacheClear})
        box->setChecked(false);
    for (QLineEdit* edit : {EditPreloaderPath, EditAltPath, EditOwnPatchlist, EditWineCommand, EditWinePrefix,
                            EditEnvironment, EditGameArguments})
        edit->clear();
}

void TAddForm::Fill(const TServer& server)
{
    filled_ = server;
    SetFilledText(EditServerName, server.Name);
    EditServerName->setEnabled(false);
    SetFilledText(EditServerAddress, server.Address);
    ResetServerTypes(server.ServerType);
    SetFilledText(EditServerSite, server.Website);
    // A stored site of one character can be visited too; only typing waits for a second one.
    BtnVisit->setEnabled(!server.Website.empty());
    SetFilledText(EditServerInfo, server.Comments);
    ChPreloader->setChecked(!server.Preloader.empty());
    SetFilledText(EditPreloaderPath, server.Preloader);
    ChAltPath->setChecked(!server.AltPath.empty());
    SetFilledText(EditAltPath, server.AltPath);
    SetFilledText(EditOwnPatchlist, server.Patchlist);
    ChOwnPatchlist->setChecked(!server.Patchlist.empty());
    ChAutoCacheClear->setChecked(server.AutoCacheClear);
    SetFilledText(EditRSSChannel, server.RSSUrl);
    SetFilledText(EditWineCommand, server.WineCommand, kWineEditMaxLength);
    SetFilledText(EditWinePrefix, server.WinePrefix, kWineEditMaxLength);
    SetFilledText(EditEnvironment, server.Environment, kWineEditMaxLength);
    SetFilledText(EditGameArguments, server.GameArguments, kWineEditMaxLength);
}

std::string TAddForm::ReadBack(const QLineEdit* edit, const std::string& filled) const
{
    return edit->text() == ToQString(filled) ? filled : FromQString(edit->text());
}

TServer TAddForm::Values() const
{
    TServer v;
    // The name cannot be edited in edit mode; the store finds the server by its own bytes.
    v.Name = EditServerName->isEnabled() ? ReadBack(EditServerName, filled_.Name) : filled_.Name;
    v.Address = ReadBack(EditServerAddress, filled_.Address);
    v.Comments = ReadBack(EditServerInfo, filled_.Comments);
    v.Preloader = ChPreloader->isChecked() ? ReadBack(EditPreloaderPath, filled_.Preloader) : std::string();
    v.AltPath = ChAltPath->isChecked() ? ReadBack(EditAltPath, filled_.AltPath) : std::string();
    v.Patchlist = ChOwnPatchlist->isChecked() ? ReadBack(EditOwnPatchlist, filled_.Patchlist) : std::string();
    int type = ComboServerType->currentIndex();
    v.ServerType = type >= 0 ? static_cast<std::uint8_t>(type) : filled_.ServerType;
    v.Website = ReadBack(EditServerSite, filled_.Website);
    v.AutoCacheClear = ChAutoCacheClear->isChecked();
    v.RSSUrl = ReadBack(EditRSSChannel, filled_.RSSUrl);
    v.WineCommand = ReadBack(EditWineCommand, filled_.WineCommand);
    v.WinePrefix = ReadBack(EditWinePrefix, filled_.WinePrefix);
    v.Environment = ReadBack(EditEnvironment, filled_.Environment);
    v.GameArguments = ReadBack(EditGameArguments, filled_.GameArguments);
    return v;
}

void TAddForm::setVisible(bool visible)
{
    // As tall as its pages and the texts the localizer put in need, and no taller: the layout's height
    // was drawn for another face and left the two fields of the first page in a sea of grey.
    if (visible)
        setFixedSize(std::max(sizeHint().width(), kAddFormWidth), sizeHint().height());
    QDialog::setVisible(visible);
}

void TAddForm::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void TAddForm::FormShow()
{
    if (startPage_ == TAddFormPage::Linux && PageControl->indexOf(TabSheet3) >= 0) {
        PageControl->setCurrentWidget(TabSheet3);
        EditWineCommand->setFocus();
        EditAltPathChange();
        return;
    }
    PageControl->setCurrentIndex(0);
    if (EditServerName->isEnabled())
        EditServerName->setFocus();
    else
        EditServerAddress->setFocus();
    EditAltPathChange();
}

void TAddForm::UpdateAddButton()
{
    const QString name = EditServerName->text();
    const QString address = EditServerAddress->text();
    std::optional<TTextId> problemText;
    switch (NameProblem(name)) {
    case TServerTextProblem::BlankAtEdge:
        problemText = TTextId::NameAtEdge;
        break;
    case TServerTextProblem::LineBreak:
        problemText = TTextId::NameLineBreak;
        break;
    case TServerTextProblem::Reserved:
        problemText = TTextId::NameReserved;
        break;
    case TServerTextProblem::Unstorable:
        problemText = TTextId::NameUnstorable;
        break;
    case TServerTextProblem::Empty:
    case TServerTextProblem::None:
        break;
    }
    // The store keeps one server per name (letters compared in any case); a new server is refused here,
    // where what was typed survives, and not after the dialog has gone.
    if (!problemText && EditServerName->isEnabled() && !name.isEmpty() && ServerExists(FromQString(name)))
        problemText = TTextId::NameTaken;
    if (!problemText && HoldsLineBreak(address))
        problemText = TTextId::AddressLineBreak;
    if (!problemText)
        for (const QLineEdit* edit :
             {EditOwnPatchlist, EditPreloaderPath, EditAltPath, EditRSSChannel, EditServerSite, EditServerInfo,
              EditWineCommand, EditWinePrefix, EditEnvironment, EditGameArguments})
            if (HoldsLineBreak(edit->text()))
                problemText = TTextId::TextLineBreak;

    const QString problem = problemText ? ToQString(LoadText(*problemText)) : QString();
    LabProblem->setText(problem);
    BtnAdd->setToolTip(problem);
    BtnAdd->setEnabled(!name.isEmpty() && !address.isEmpty() && !problemText);
}

void TAddForm::EditServerNameChange()
{
    UpdateAddButton();
}

void TAddForm::EditServerAddressChange()
{
    UpdateAddButton();
}

void TAddForm::EditServerSiteChange()
{
    BtnVisit->setEnabled(EditServerSite->text().size() >= kMinVisitableSiteLength);
}

void TAddForm::EditAltPathChange()
{
    BtnGetVer->setEnabled(ChAltPath->isChecked() && !EditAltPath->text().isEmpty());
}

void TAddForm::ChOwnPatchlistClick()
{
    EditOwnPatchlist->setEnabled(ChOwnPatchlist->isChecked());
}

void TAddForm::ChPreloaderClick()
{
    EditPreloaderPath->setEnabled(ChPreloader->isChecked());
    BtnSetPreloader->setEnabled(ChPreloader->isChecked());
}

void TAddForm::ChAltPathClick()
{
    EditAltPath->setEnabled(ChAltPath->isChecked());
    BtnSetAltPath->setEnabled(ChAltPath->isChecked());
    EditAltPathChange();
}

void TAddForm::BtnSetPreloaderClick()
{
    QString picked = PickExistingFile(this, EditPreloaderPath->text(), QString::fromUtf8(kPreloaderFilter));
    if (!picked.isEmpty())
        EditPreloaderPath->setText(picked);
}

void TAddForm::BtnSetAltPathClick()
{
    QString picked = PickExistingFile(this, EditAltPath->text(), QString::fromUtf8(kGameFilter));
    if (!picked.isEmpty())
        EditAltPath->setText(picked);
}

void TAddForm::BtnGetVerClick()
{
    ShowGameVersion(this, ReadBack(EditAltPath, filled_.AltPath));
}

void TAddForm::BtnVisitClick()
{
    OpenWebAddress(EditServerSite->text());
}

void TAddForm::BtnSetWineClick()
{
    QString picked = PickExistingFile(this, EditWineCommand->text(), QString::fromUtf8(kWineFilter));
    if (!picked.isEmpty())
        EditWineCommand->setText(picked);
}

void TAddForm::BtnSetWinePrefixClick()
{
    QString picked = PickFolder(this, EditWinePrefix->text());
    if (!picked.isEmpty())
        EditWinePrefix->setText(picked);
}
