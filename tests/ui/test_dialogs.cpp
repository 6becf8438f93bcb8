// The dialogs on their own: how a fresh one looks, the rules that enable its controls, what it hands
// back, and the pickers' filters.
#include "core/localization_u.h"
#include "core/settings.h"
#include "ui/LnkLabel.h"
#include "ui/aboutfm.h"
#include "ui/addfm.h"
#include "ui/filepick.h"
#include "ui/localizedialogs.h"
#include "ui/msgbox.h"
#include "ui/settingsfm.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTabWidget>
#include <QtTest>

namespace {

TServer FullServer()
{
    TServer s;
    s.Name = "Alpha";
    s.Address = "logon.alpha.example";
    s.Comments = "x1 rates";
    s.Preloader = "/games/loader.exe";
    s.AltPath = "/games/alt/Wow.exe";
    s.Patchlist = "patch.alpha.example";
    s.Website = "alpha.example";
    s.ServerType = 4;
    s.AutoCacheClear = true;
    s.RSSUrl = "http://alpha.example/rss";
    s.WineCommand = "/opt/wine staging/bin/wine";
    s.WinePrefix = "~/Games/alpha-prefix";
    s.Environment = "WINEDEBUG=-all;DXVK_HUD=fps";
    s.GameArguments = "-console \"-opengl mode\"";
    return s;
}

QString Hint(TTextId id)
{
    return ToQString(LoadText(id));
}

} // namespace

class TestDialogs : public QObject
{
    Q_OBJECT

public slots:
    // Stands in for the desktop's browser.
    void Open(const QUrl& url) { opened_.append(url); }

private slots:
    void initTestCase() { InitLocalization(); }

    void addFormStartsEmptyAndDisabled();
    void addButtonRule_data();
    void addButtonRule();
    void visitButtonNeedsTwoTypedCharacters();
    void visitOpensTheSiteAsAWebAddress();
    void checkBoxesEnableTheirControls();
    void editFillAndReadBack();
    void untickedBoxesClearTheirValues();
    void untouchedTextsKeepTheirBytes();
    void captionsOfAddAndEditMode();
    void showSelectsFirstPageAndFocus();
    void tabOrderFollowsTheLayout();

    void settingsStartsWithProgramControlsDisabled();
    void settingsFillAndValues();
    void settingsTimeoutIsClampedAndStepped();
    void settingsRunProgramRules();
    void settingsUnknownUpdatePeriodIsKept();

    void aboutShowsTitleVersionAndLinks();
    void aboutLeavesOutContactsThatAreNone();
    void pickerFiltersMatchAnyCase_data();
    void pickerFiltersMatchAnyCase();

private:
    QList<QUrl> opened_;
};

void TestDialogs::addFormStartsEmptyAndDisabled()
{
    TAddForm f;
    for (QWidget* w : std::initializer_list<QWidget*>{f.BtnAdd, f.BtnVisit, f.EditOwnPatchlist, f.EditPreloaderPath,
                                                      f.BtnSetPreloader, f.EditAltPath, f.BtnSetAltPath})
        QVERIFY2(!w->isEnabled(), qPrintable(w->objectName()));
    for (QCheckBox* b : {f.ChOwnPatchlist, f.ChPreloader, f.ChAltPath, f.ChAutoCacheClear})
        QVERIFY(!b->isChecked());
    for (QLineEdit* e : f.findChildren<QLineEdit*>()) {
        if (e->parent() == f.ComboServerType)
            continue;
        QVERIFY2(e->text().isEmpty(), qPrintable(e->objectName()));
        QCOMPARE(e->maxLength(), e->parent() == f.TabSheet3 ? kWineEditMaxLength : kServerEditMaxLength);
    }
    QCOMPARE(f.ComboServerType->count(), 6);
    QCOMPARE(f.ComboServerType->currentIndex(), 0);
    QCOMPARE(f.ComboServerType->itemText(0), QString("---"));
    QCOMPARE(f.ComboServerType->itemText(5), QString("Multirealm"));
    QVERIFY(f.BtnAdd->isDefault());
}

void TestDialogs::addButtonRule_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("comments");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<QString>("problem"); // the hint shown, empty for none
    QTest::newRow("name and address") << "Alpha"
                                      << "a.example"
                                      << "" << true << QString();
    QTest::newRow("no name") << ""
                             << "a.example"
                             << "" << false << QString();
    QTest::newRow("no address") << "Alpha"
                                << ""
                                << "" << false << QString();
    QTest::newRow("main") << "main"
                          << "a.example"
                          << "" << false << Hint(TTextId::NameReserved);
    QTest::newRow("Main") << "Main"
                          << "a.example"
                          << "" << false << Hint(TTextId::NameReserved);
    QTest::newRow("MAIN") << "MAIN"
                          << "a.example"
                          << "" << false << Hint(TTextId::NameReserved);
    QTest::newRow("mAiN") << "mAiN"
                          << "a.example"
                          << "" << false << Hint(TTextId::NameReserved);
    QTest::newRow("begins with Main") << "Mainland"
                                      << "a.example"
                                      << "" << true << QString();
    QTest::newRow("blank in front") << " Alpha"
                                    << "a.example"
                                    << "" << false << Hint(TTextId::NameAtEdge);
    QTest::newRow("blank behind") << "Alpha "
                                  << "a.example"
                                  << "" << false << Hint(TTextId::NameAtEdge);
    QTest::newRow("tab behind") << "Alpha\t"
                                << "a.example"
                                << "" << false << Hint(TTextId::NameAtEdge);
    QTest::newRow("only blanks") << "   "
                                 << "a.example"
                                 << "" << false << Hint(TTextId::NameAtEdge);
    QTest::newRow("blank inside") << "Alpha Beta"
                                  << "a.example"
                                  << "" << true << QString();
    QTest::newRow("brackets") << "[EU] Alpha"
                              << "a.example"
                              << "" << true << QString();
    QTest::newRow("line break in name") << "Al\npha"
                                        << "a.example"
                                        << "" << false << Hint(TTextId::NameLineBreak);
    QTest::newRow("carriage return in name") << "Al\rpha"
                                             << "a.example"
                                             << "" << false << Hint(TTextId::NameLineBreak);
    QTest::newRow("line break in address") << "Alpha"
                                           << "a.example\n"
                                           << "" << false << Hint(TTextId::AddressLineBreak);
    QTest::newRow("line break in comments") << "Alpha"
                                            << "a.example"
                                            << "one\ntwo" << false << Hint(TTextId::TextLineBreak);
    QTest::newRow("blank main") << " main"
                                << "a.example"
                                << "" << false << Hint(TTextId::NameAtEdge);
}

void TestDialogs::addButtonRule()
{
    QFETCH(QString, name);
    QFETCH(QString, address);
    QFETCH(QString, comments);
    QFETCH(bool, enabled);
    QFETCH(QString, problem);
    TAddForm f;
    LocalizeAddForm(f, false);
    f.FillNew();
    f.EditServerName->setText(name);
    f.EditServerAddress->setText(address);
    f.EditServerInfo->setText(comments);
    QCOMPARE(f.BtnAdd->isEnabled(), enabled);
    QCOMPARE(f.LabProblem->text(), problem);
    QCOMPARE(f.BtnAdd->toolTip(), problem);
    // Putting it right enables it again.
    f.EditServerName->setText("Beta");
    f.EditServerAddress->setText("b.example");
    f.EditServerInfo->clear();
    QVERIFY(f.BtnAdd->isEnabled());
    QVERIFY(f.LabProblem->text().isEmpty());
}

void TestDialogs::visitButtonNeedsTwoTypedCharacters()
{
    TAddForm f;
    f.FillNew();
    f.EditServerSite->setText("a");
    QVERIFY(!f.BtnVisit->isEnabled());
    f.EditServerSite->setText("ab");
    QVERIFY(f.BtnVisit->isEnabled());
    f.EditServerSite->clear();
    QVERIFY(!f.BtnVisit->isEnabled());

    TServer s = FullServer();
    s.Website = "a";
    TAddForm edit;
    edit.Fill(s);
    QVERIFY(edit.BtnVisit->isEnabled());
}

void TestDialogs::visitOpensTheSiteAsAWebAddress()
{
    for (const char* scheme : {"http", "https", "file"})
        QDesktopServices::setUrlHandler(QString::fromLatin1(scheme), this, "Open");
    TAddForm f;
    f.FillNew();
    for (const char* site : {"korvan.example/realm", "HTTPS://korvan.example/", "file:///etc/passwd"}) {
        f.EditServerSite->setText(site);
        f.BtnVisit->click();
    }
    for (const char* scheme : {"http", "https", "file"})
        QDesktopServices::unsetUrlHandler(QString::fromLatin1(scheme));
    QCOMPARE(opened_.size(), 3);
    QCOMPARE(opened_[0], QUrl("http://korvan.example/realm"));
    QCOMPARE(opened_[1].scheme(), QString("https"));
    // Never a local file.
    QCOMPARE(opened_[2].scheme(), QString("http"));
}

void TestDialogs::checkBoxesEnableTheirControls()
{
    TAddForm f;
    f.FillNew();
    f.ChOwnPatchlist->setChecked(true);
    QVERIFY(f.EditOwnPatchlist->isEnabled());
    f.ChPreloader->setChecked(true);
    QVERIFY(f.EditPreloaderPath->isEnabled() && f.BtnSetPreloader->isEnabled());
    f.ChPreloader->setChecked(false);
    QVERIFY(!f.EditPreloaderPath->isEnabled() && !f.BtnSetPreloader->isEnabled());

    // The version button wants a ticked box and a path.
    f.ChAltPath->setChecked(true);
    QVERIFY(f.EditAltPath->isEnabled() && f.BtnSetAltPath->isEnabled());
    QVERIFY(!f.BtnGetVer->isEnabled());
    f.EditAltPath->setText("/games/Wow.exe");
    QVERIFY(f.BtnGetVer->isEnabled());
    f.ChAltPath->setChecked(false);
    QVERIFY(!f.BtnGetVer->isEnabled());
    QVERIFY(!f.EditAltPath->isEnabled());
}

void TestDialogs::editFillAndReadBack()
{
    const TServer s = FullServer();
    TAddForm f;
    LocalizeAddForm(f, true);
    f.Fill(s);
    QVERIFY(!f.EditServerName->isEnabled());
    QCOMPARE(f.EditServerName->text(), QString("Alpha"));
    QVERIFY(f.BtnAdd->isEnabled());
    QVERIFY(f.ChPreloader->isChecked() && f.ChAltPath->isChecked() && f.ChOwnPatchlist->isChecked());
    QVERIFY(f.EditAltPath->isEnabled() && f.EditOwnPatchlist->isEnabled());
    QCOMPARE(f.ComboServerType->currentIndex(), 4);
    const TServer v = f.Values();
    QCOMPARE(v.Name, s.Name);
    QCOMPARE(v.Address, s.Address);
    QCOMPARE(v.Comments, s.Comments);
    QCOMPARE(v.Preloader, s.Preloader);
    QCOMPARE(v.AltPath, s.AltPath);
    QCOMPARE(v.Patchlist, s.Patchlist);
    QCOMPARE(v.Website, s.Website);
    QCOMPARE(v.ServerType, s.ServerType);
    QCOMPARE(v.AutoCacheClear, s.AutoCacheClear);
    QCOMPARE(v.RSSUrl, s.RSSUrl);
    QCOMPARE(f.EditWinePrefix->text(), QString("~/Games/alpha-prefix"));
    QCOMPARE(v.WineCommand, s.WineCommand);
    QCOMPARE(v.WinePrefix, s.WinePrefix);
    QCOMPARE(v.Environment, s.Environment);
    QCOMPARE(v.GameArguments, s.GameArguments);
    // Cleared on the Linux page, the server falls back to the settings' Wine and no prefix of its own.
    f.EditWineCommand->clear();
    f.EditWinePrefix->clear();
    QVERIFY(f.Values().WineCommand.empty() && f.Values().WinePrefix.empty());
    // A line break in a variable would split the server's line in tavix.ini.
    f.EditEnvironment->setText("A=1\nB=2");
    QVERIFY(!f.BtnAdd->isEnabled());
    f.EditEnvironment->setText(QString::fromStdString(std::string(600, 'V')));
    QVERIFY(f.BtnAdd->isEnabled());
    QCOMPARE(f.Values().Environment.size(), std::size_t(600));
}

void TestDialogs::untickedBoxesClearTheirValues()
{
    TAddForm f;
    f.Fill(FullServer());
    f.ChPreloader->setChecked(false);
    f.ChAltPath->setChecked(false);
    f.ChOwnPatchlist->setChecked(false);
    f.ChAutoCacheClear->setChecked(false);
    f.ComboServerType->setCurrentIndex(0);
    // The edits still show their texts; they are ignored while the boxes are clear.
    QCOMPARE(f.EditPreloaderPath->text(), QString("/games/loader.exe"));
    const TServer v = f.Values();
    QVERIFY(v.Preloader.empty());
    QVERIFY(v.AltPath.empty());
    QVERIFY(v.Patchlist.empty());
    QVERIFY(!v.AutoCacheClear);
    QCOMPARE(v.ServerType, std::uint8_t(0));
}

void TestDialogs::untouchedTextsKeepTheirBytes()
{
    TServer s = FullServer();
    s.Name = "\xC8"
             "esk\xFD server"; // Windows-1250 or -1252 bytes, as the Windows edition writes them
    s.Comments = "caf\xE9";
    s.RSSUrl = "http://alpha.example/" + std::string(200, 'r'); // longer than a user may type
    s.ServerType = 7;                                           // a type the list does not name
    TAddForm f;
    f.Fill(s);
    TServer v = f.Values();
    QCOMPARE(v.Name, s.Name);
    QCOMPARE(v.Comments, s.Comments);
    QCOMPARE(v.RSSUrl, s.RSSUrl);
    QCOMPARE(v.ServerType, std::uint8_t(7));
    // A text the user changed comes back as typed, in UTF-8.
    f.EditServerInfo->setText(QString::fromUtf8("café au lait"));
    f.ComboServerType->setCurrentIndex(2);
    v = f.Values();
    QCOMPARE(v.Comments, std::string("caf\xC3\xA9 au lait"));
    QCOMPARE(v.ServerType, std::uint8_t(2));
}

void TestDialogs::captionsOfAddAndEditMode()
{
    TAddForm add;
    LocalizeAddForm(add, false);
    QCOMPARE(add.windowTitle(), QString("Add server"));
    QCOMPARE(add.BtnAdd->text(), QString("&Add"));
    QCOMPARE(add.PageControl->tabText(0), QString("&Basic settings"));
    QCOMPARE(add.PageControl->tabText(1), QString("A&dditional settings"));
    QCOMPARE(add.PageControl->tabText(2), QString("Linux"));
    QCOMPARE(add.BtnGetVer->text(), QString("Obtain &version"));
    TAddForm edit;
    LocalizeAddForm(edit, true);
    QCOMPARE(edit.windowTitle(), QString("Edit server"));
    QCOMPARE(edit.BtnAdd->text(), QString("S&ave"));
    QCOMPARE(edit.BtnCancel->text(), QString("&Cancel"));
    // Every control got a text.
    for (QAbstractButton* b : edit.findChildren<QAbstractButton*>())
        if (b->objectName().startsWith("Btn") || b->objectName().startsWith("Ch"))
            QVERIFY2(!b->text().isEmpty(), qPrintable(b->objectName()));
    for (QLabel* l : edit.findChildren<QLabel*>())
        if (l != edit.LabProblem && !l->objectName().isEmpty())
            QVERIFY2(!l->text().isEmpty(), qPrintable(l->objectName()));
}

void TestDialogs::showSelectsFirstPageAndFocus()
{
    TAddForm add;
    add.FillNew();
    add.PageControl->setCurrentIndex(1);
    add.show();
    QVERIFY(QTest::qWaitForWindowExposed(&add));
    QCOMPARE(add.PageControl->currentIndex(), 0);
    QTRY_COMPARE(QApplication::focusWidget(), add.EditServerName);
    // As tall as its content needs, no taller; as wide as the layout, or wider for long texts.
    QCOMPARE(add.height(), add.sizeHint().height());
    QVERIFY(add.width() >= kAddFormWidth && add.width() >= add.sizeHint().width());

    TAddForm edit;
    edit.Fill(FullServer());
    edit.show();
    QVERIFY(QTest::qWaitForWindowExposed(&edit));
    QTRY_COMPARE(QApplication::focusWidget(), edit.EditServerAddress);
    QVERIFY(edit.BtnGetVer->isEnabled());

    // Play's refusal of a Wine set-up opens the editor where it is put right.
    TAddForm linux;
    linux.Fill(FullServer());
    linux.SetStartPage(TAddFormPage::Linux);
    linux.show();
    QVERIFY(QTest::qWaitForWindowExposed(&linux));
    QCOMPARE(linux.PageControl->currentWidget(), linux.TabSheet3);
    QTRY_COMPARE(QApplication::focusWidget(), linux.EditWineCommand);
}

namespace {

// The named controls in the order Tab visits them, starting at `first`.
QStringList FocusOrder(QWidget* first, const QStringList& names)
{
    QStringList order;
    QWidget* w = first;
    do {
        if (names.contains(w->objectName()) && !order.contains(w->objectName()))
            order << w->objectName();
        w = w->nextInFocusChain();
    } while (w != first);
    return order;
}

} // namespace

void TestDialogs::tabOrderFollowsTheLayout()
{
    const QStringList server = {
        "EditServerName",    "EditServerAddress", "ChOwnPatchlist",    "EditOwnPatchlist", "ChPreloader",
        "EditPreloaderPath", "BtnSetPreloader",   "ChAltPath",         "EditAltPath",      "BtnGetVer",
        "BtnSetAltPath",     "ChAutoCacheClear",  "ComboServerType",   "EditRSSChannel",   "EditServerSite",
        "BtnVisit",          "EditServerInfo",    "EditWineCommand",   "BtnSetWine",       "EditWinePrefix",
        "BtnSetWinePrefix",  "EditEnvironment",   "EditGameArguments", "BtnAdd",           "BtnCancel"};
    TAddForm add;
    QCOMPARE(FocusOrder(add.EditServerName, server), server);
    const QStringList settings = {"EditWoWPath",    "BtnWoWPath",     "BtnGetVer",     "ChRunProgram",
                                  "ChOneInstance",  "EditRunProgram", "BtnRunProgram", "EditWineCommand",
                                  "BtnWineCommand", "SpinTimeout",    "ChSaveWinPos",  "ChAutoPopup",
                                  "cbCheckUpdates", "btnSave",        "BtnCancel"};
    TSettingsForm f;
    QCOMPARE(FocusOrder(f.EditWoWPath, settings), settings);
}

void TestDialogs::settingsStartsWithProgramControlsDisabled()
{
    TSettingsForm f;
    QVERIFY(!f.EditRunProgram->isEnabled());
    QVERIFY(!f.BtnRunProgram->isEnabled());
    QVERIFY(!f.ChOneInstance->isEnabled());
    QCOMPARE(f.SpinTimeout->value(), 3000);
    QVERIFY(f.btnSave->isDefault());
    LocalizeSettingsForm(f);
    QCOMPARE(f.windowTitle(), QString("Settings"));
    QCOMPARE(f.cbCheckUpdates->count(), 4);
    QCOMPARE(f.cbCheckUpdates->itemText(0), QString("Never"));
    QCOMPARE(f.cbCheckUpdates->itemText(3), QString("Once a month"));
    QCOMPARE(f.BtnGetVer->text(), QString("Obtain &version"));
}

void TestDialogs::settingsFillAndValues()
{
    const TMainSettings stored{.WoWPath = "/games/WoW.exe",
                               .Timeout = 4200,
                               .SaveWindowPos = true,
                               .MenuAutoPopup = true,
                               .ProgramToRunOnWoWLaunch = "/usr/bin/voice --min",
                               .OneInstanceOnly = true,
                               .CheckUpdates = 2,
                               .LastRun = 46360.5,
                               .WineCommand = "wine64"};
    TSettingsForm f;
    LocalizeSettingsForm(f);
    f.Fill(stored);
    QCOMPARE(f.EditWoWPath->text(), QString("/games/WoW.exe"));
    QCOMPARE(f.SpinTimeout->value(), 4200);
    QVERIFY(f.ChSaveWinPos->isChecked() && f.ChAutoPopup->isChecked());
    QVERIFY(f.ChRunProgram->isChecked() && f.ChOneInstance->isChecked());
    QVERIFY(f.EditRunProgram->isEnabled() && f.BtnRunProgram->isEnabled() && f.ChOneInstance->isEnabled());
    QCOMPARE(f.cbCheckUpdates->currentIndex(), 2);
    QCOMPARE(f.EditWineCommand->text(), QString("wine64"));

    f.EditWoWPath->setText("/other/Wow.exe");
    f.SpinTimeout->stepDown();
    f.ChSaveWinPos->setChecked(false);
    f.ChAutoPopup->setChecked(false);
    f.cbCheckUpdates->setCurrentIndex(0);
    const TMainSettings saved = f.Values();
    QCOMPARE(saved.WoWPath, std::string("/other/Wow.exe"));
    QCOMPARE(saved.Timeout, 4100);
    QVERIFY(!saved.SaveWindowPos && !saved.MenuAutoPopup);
    QCOMPARE(saved.CheckUpdates, std::uint8_t(0));
    QCOMPARE(saved.ProgramToRunOnWoWLaunch, std::string("/usr/bin/voice --min"));
    QVERIFY(saved.OneInstanceOnly);
    // What the dialog does not show comes back as it went in.
    QCOMPARE(saved.LastRun, stored.LastRun);
    QCOMPARE(saved.WineCommand, stored.WineCommand);
    f.EditWineCommand->setText("/opt/wine-staging/bin/wine");
    QCOMPARE(f.Values().WineCommand, std::string("/opt/wine-staging/bin/wine"));

    // The path is taken as typed: the launch reports a wrong one.
    f.EditWoWPath->setText("not a file");
    QCOMPARE(f.Values().WoWPath, std::string("not a file"));
}

void TestDialogs::settingsTimeoutIsClampedAndStepped()
{
    TSettingsForm f;
    for (auto [stored, shown] : {std::pair{50, 1000}, {99999, 15000}, {-3, 1000}, {1000, 1000}, {15000, 15000}}) {
        f.Fill({.Timeout = stored});
        QCOMPARE(f.SpinTimeout->value(), shown);
    }
    f.SpinTimeout->setValue(15000);
    f.SpinTimeout->stepUp();
    QCOMPARE(f.SpinTimeout->value(), 15000);
    f.SpinTimeout->setValue(1000);
    f.SpinTimeout->stepDown();
    QCOMPARE(f.SpinTimeout->value(), 1000);
    f.SpinTimeout->setValue(3000);
    f.SpinTimeout->stepUp();
    QCOMPARE(f.SpinTimeout->value(), 3100);
    // Nothing can be typed into it.
    QLineEdit* text = f.SpinTimeout->findChild<QLineEdit*>();
    QVERIFY(text && text->isReadOnly());
    f.Fill({.Timeout = 50});
    QCOMPARE(f.Values().Timeout, 1000);
}

void TestDialogs::settingsRunProgramRules()
{
    TSettingsForm f;
    f.Fill({.OneInstanceOnly = true});
    // Shown and saved as stored although it cannot be changed.
    QVERIFY(!f.ChOneInstance->isEnabled());
    QVERIFY(f.ChOneInstance->isChecked());
    f.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f));
    QVERIFY(!f.BtnGetVer->isEnabled());
    QTRY_COMPARE(QApplication::focusWidget(), f.EditWoWPath);
    f.EditWoWPath->setText("w");
    QVERIFY(f.BtnGetVer->isEnabled());
    f.EditWoWPath->clear();
    QVERIFY(!f.BtnGetVer->isEnabled());

    f.ChRunProgram->setChecked(true);
    QVERIFY(f.EditRunProgram->isEnabled() && f.BtnRunProgram->isEnabled() && f.ChOneInstance->isEnabled());
    f.EditRunProgram->setText("/usr/bin/voice");
    f.ChRunProgram->setChecked(false);
    QVERIFY(!f.EditRunProgram->isEnabled() && !f.ChOneInstance->isEnabled());
    const TMainSettings saved = f.Values();
    QVERIFY(saved.ProgramToRunOnWoWLaunch.empty());
    QVERIFY(saved.OneInstanceOnly);

    TSettingsForm again;
    again.Fill(saved);
    QVERIFY(!again.ChRunProgram->isChecked());
    QVERIFY(again.EditRunProgram->text().isEmpty());
}

void TestDialogs::settingsUnknownUpdatePeriodIsKept()
{
    TSettingsForm f;
    f.Fill({.CheckUpdates = 9});
    QCOMPARE(f.cbCheckUpdates->currentIndex(), -1);
    QCOMPARE(f.Values().CheckUpdates, std::uint8_t(9));
}

void TestDialogs::aboutShowsTitleVersionAndLinks()
{
    TAboutForm f;
    LocalizeAboutForm(f);
    QCOMPARE(f.windowTitle(), QString("About"));
    QCOMPARE(f.LabSupport->text(), QString("Support:"));
    QCOMPARE(f.LabWeb->text(), QString("Website:"));
    QCOMPARE(f.Label1->text(), QString("Korvan II"));
    QVERIFY(f.Label3->text().startsWith('(') && f.Label3->text().endsWith(')'));
    QVERIFY(f.LnkLabel1->Link().startsWith("mailto:"));
    QVERIFY(f.LnkLabel1->Link().endsWith(f.LnkLabel1->text()));
    QCOMPARE(f.LnkLabel2->Link(), f.LnkLabel2->text());
    for (TLnkLabel* link : {f.LnkLabel1, f.LnkLabel2}) {
        QCOMPARE(link->FontColor(), QColor(Qt::blue));
        QCOMPARE(link->EnterFontColor(), QColor(Qt::red));
        QCOMPARE(link->VisitedColor(), QColor(0, 0, 128));
    }
    QVERIFY(f.Button1->isDefault());
    f.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f));
    QVERIFY(f.width() >= kAboutFormWidth && f.height() >= kAboutFormHeight);
    // The messenger row has no contact ("none"): it is left out, the others stay.
    QVERIFY(!f.Label5->isVisible() && !f.Label6->isVisible());
    for (QWidget* shown : {static_cast<QWidget*>(f.Label4), static_cast<QWidget*>(f.LnkLabel1),
                           static_cast<QWidget*>(f.LabWeb), static_cast<QWidget*>(f.LnkLabel2)})
        QVERIFY(shown->isVisible());
    QTest::keyClick(&f, Qt::Key_Escape);
    QVERIFY(!f.isVisible());
}

void TestDialogs::aboutLeavesOutContactsThatAreNone()
{
    const QString czechNone = QString::fromUtf8("není");
    QVERIFY(AboutValueShown("support@korvan.example", czechNone));
    QVERIFY(AboutValueShown("123456", czechNone));
    QVERIFY(!AboutValueShown("", czechNone));
    QVERIFY(!AboutValueShown("  ", czechNone));
    QVERIFY(!AboutValueShown("none", czechNone));
    QVERIFY(!AboutValueShown("None", QString()));
    QVERIFY(!AboutValueShown(czechNone, czechNone));
    QVERIFY(AboutValueShown("nonesuch.example", "none"));
}

void TestDialogs::pickerFiltersMatchAnyCase_data()
{
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("matches");
    QTest::newRow("game") << "WoW.exe|wow.exe"
                          << "WoW.exe" << true;
    QTest::newRow("game upper") << "WoW.exe|wow.exe"
                                << "WOW.EXE" << true;
    QTest::newRow("other program") << "WoW.exe|wow.exe"
                                   << "Launcher.exe" << false;
    QTest::newRow("batch") << "Spustitelné soubory|*.exe;*.com;*.bat"
                           << "START.Bat" << true;
    QTest::newRow("script") << "Spustitelné soubory|*.exe;*.com;*.bat"
                            << "start.sh" << false;
    QTest::newRow("command") << "*.exe, *.com, *.bat, *.cmd|*.exe;*.com;*.bat;*.cmd"
                             << "x.CMD" << true;
}

void TestDialogs::pickerFiltersMatchAnyCase()
{
    QFETCH(QString, filter);
    QFETCH(QString, file);
    QFETCH(bool, matches);
    const QStringList filters = PickerFilters(filter);
    QCOMPARE(filters.size(), 2);
    QVERIFY(filters[0].startsWith(filter.section('|', 0, 0) + " ("));
    QCOMPARE(filters[1], QString("All files (*)"));
    const QString patterns = filters[0].section('(', -1).chopped(1);
    bool any = false;
    for (const QString& p : patterns.split(' '))
        any |= QRegularExpression(QRegularExpression::wildcardToRegularExpression(p)).match(file).hasMatch();
    QCOMPARE(any, matches);
}

QTEST_MAIN(TestDialogs)
#include "test_dialogs.moc"
