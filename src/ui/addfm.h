// The server editor: gathers the values of one server for adding or changing it. It decides nothing
// about the list; the server store accepts or refuses what it hands over.
#pragma once

#include "core/globaltypes_u.h"

#include <QDialog>
#include <QString>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;
class QWidget;

// The layout's width, which leaves paths and addresses room to be read; the height follows the content.
inline constexpr int kAddFormWidth = 466;
inline constexpr int kServerEditMaxLength = 128;
// Variables and arguments run longer than a name or an address: as long as the store reads a value.
inline constexpr int kWineEditMaxLength = 2047;
// A site needs this many characters before it is worth visiting while the user types.
inline constexpr int kMinVisitableSiteLength = 2;

// The page the editor opens on: the first, or the Linux page when Play refused the server's Wine set-up.
enum class TAddFormPage
{
    Basic,
    Linux,
};

// Why a name or an address cannot be stored and read back as itself; None when it can.
enum class TServerTextProblem
{
    None,
    Empty,
    BlankAtEdge,
    LineBreak,
    Reserved,
    Unstorable, // for any other reason the store gives
};

TServerTextProblem NameProblem(const QString& name);
// Line breaks would split the value's line in tavix.ini.
bool HoldsLineBreak(const QString& text);

class TAddForm : public QDialog
{
    Q_OBJECT

public:
    explicit TAddForm(QWidget* parent = nullptr);

    // Empty values, the name editable: the dialog for a new server.
    void FillNew();
    // The server's values, its name read-only (it identifies the server in the store).
    void Fill(const TServer& server);
    // Shown on `page` when it opens (the first page unless told).
    void SetStartPage(TAddFormPage page) { startPage_ = page; }
    // The values a user edits, as the controls hold them. Texts the user left alone come back
    // byte for byte as they were filled in, whatever code page tavix.ini holds them in.
    TServer Values() const;

    // The controls, named as the layout names them.
    QTabWidget* PageControl = nullptr;
    QWidget* TabSheet1 = nullptr;
    QWidget* TabSheet2 = nullptr;
    // The Linux page: the server's Wine set-up. Not shown in a Windows build.
    QWidget* TabSheet3 = nullptr;
    QLabel* LabServerName = nullptr;
    QLineEdit* EditServerName = nullptr;
    QLabel* LabServerAddress = nullptr;
    QLineEdit* EditServerAddress = nullptr;
    // Says why Add is disabled for a name or an address that cannot be stored.
    QLabel* LabProblem = nullptr;
    QGroupBox* GBServerSettings = nullptr;
    QCheckBox* ChOwnPatchlist = nullptr;
    QLineEdit* EditOwnPatchlist = nullptr;
    QCheckBox* ChPreloader = nullptr;
    QLineEdit* EditPreloaderPath = nullptr;
    QPushButton* BtnSetPreloader = nullptr;
    QCheckBox* ChAltPath = nullptr;
    QLineEdit* EditAltPath = nullptr;
    QPushButton* BtnGetVer = nullptr;
    QPushButton* BtnSetAltPath = nullptr;
    QCheckBox* ChAutoCacheClear = nullptr;
    QGroupBox* GBServerInfo = nullptr;
    QLabel* LabServerType = nullptr;
    QComboBox* ComboServerType = nullptr;
    QLabel* LabRSSChannel = nullptr;
    QLineEdit* EditRSSChannel = nullptr;
    QLabel* LabServerSite = nullptr;
    QLineEdit* EditServerSite = nullptr;
    QPushButton* BtnVisit = nullptr;
    QLabel* LabServerInfo = nullptr;
    QLineEdit* EditServerInfo = nullptr;
    QLabel* LabWineCommand = nullptr;
    QLineEdit* EditWineCommand = nullptr;
    QPushButton* BtnSetWine = nullptr;
    QLabel* LabWinePrefix = nullptr;
    QLineEdit* EditWinePrefix = nullptr;
    QPushButton* BtnSetWinePrefix = nullptr;
    QLabel* LabEnvironment = nullptr;
    QLineEdit* EditEnvironment = nullptr;
    QLabel* LabGameArguments = nullptr;
    QLineEdit* EditGameArguments = nullptr;
    QPushButton* BtnAdd = nullptr;
    QPushButton* BtnCancel = nullptr;

    void setVisible(bool visible) override;

protected:
    void showEvent(QShowEvent* event) override;

private slots:
    void FormShow();
    void EditServerNameChange();
    void EditServerAddressChange();
    void EditServerSiteChange();
    void EditAltPathChange();
    void ChOwnPatchlistClick();
    void ChPreloaderClick();
    void ChAltPathClick();
    void BtnSetPreloaderClick();
    void BtnSetAltPathClick();
    void BtnGetVerClick();
    void BtnSetWineClick();
    void BtnSetWinePrefixClick();
    void BtnVisitClick();

private:
    void BuildBasicPage();
    void BuildAdditionalPage();
    void BuildLinuxPage();
    void SetTabOrder();
    void ResetServerTypes(std::uint8_t type);
    // Rule for Add: a name and an address that can be stored, and no text with a line break.
    void UpdateAddButton();
    std::string ReadBack(const QLineEdit* edit, const std::string& filled) const;

    // The values as filled in, so untouched texts keep their bytes.
    TServer filled_;
    TAddFormPage startPage_ = TAddFormPage::Basic;
};
