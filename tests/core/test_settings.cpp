// The settings of section Main: defaults, bounds, what a save writes and what it leaves alone.
#include "core/ini.h"
#include "core/settings.h"
#include "support/testsupport.h"

#include <QtTest>

class TestSettings : public QObject
{
    Q_OBJECT

private slots:
    void firstStartWritesDefaults();
    void unreadableFileIsNotStamped();
    void timeoutBounds_data();
    void timeoutBounds();
    void positionKeysStayWhenNotSaved();
    void readLeavesTheFileAndKeepsWhatTheDialogDoesNotShow();
    void listenersHearEveryApplyUntilTheyLetGo();
    void lastRunKeepsPreviousStartInMemory();
    void dateTimeTextReadsBackExactly();
    void olderDateFormsAndJunk_data();
    void olderDateFormsAndJunk();
    void selectionAndCentring();
};

void TestSettings::firstStartWritesDefaults()
{
    TScratchIni scratch;
    TSettings settings;
    TWindowSettings window;
    QVERIFY(settings.Load(scratch.Path(), window));
    QCOMPARE(settings.Values().Timeout, kDefaultTimeout);
    QVERIFY(settings.Values().MenuAutoPopup);
    QCOMPARE(int(settings.Values().CheckUpdates), 1);
    QCOMPARE(settings.Values().LastRun, kLastRunDefault);
    QCOMPARE(window.Panel, 1);
    window.Panel = 2;
    QVERIFY(settings.Save(scratch.Path(), window));
    const std::string text = scratch.Read();
    // LastRun was stamped at start; the save appends the rest in the order of the keys.
    QVERIFY(text.rfind("[Main]\nLastRun=", 0) == 0);
    auto rest = text.substr(text.find('\n', 15) + 1);
    QCOMPARE(rest, std::string("WoWPath=\nFullInfo=0\nTimeout=3000\nPanel=2\nServerIndex=0\nSaveWindowPos=0\n"
                               "MenuAutoPopup=1\nProgramToRunOnWoWLaunch=\nOneInstanceOnly=0\nCheckUpdates=1\n"));
    // No page visible: Panel is not written, the stored one stays.
    window.Panel = -1;
    QVERIFY(settings.Save(scratch.Path(), window));
    QVERIFY(scratch.Read().find("Panel=2\n") != std::string::npos);
}

void TestSettings::unreadableFileIsNotStamped()
{
    TScratchIni scratch;
    // A folder where the file should be cannot be read; it must come out of the start untouched.
    QVERIFY(QDir().mkdir(QString::fromStdString(scratch.Path())));
    TSettings settings;
    TWindowSettings window;
    QVERIFY(!settings.Load(scratch.Path(), window));
    QCOMPARE(settings.Values().Timeout, kDefaultTimeout);
    QVERIFY(QFileInfo(QString::fromStdString(scratch.Path())).isDir());
    QVERIFY(!settings.Save(scratch.Path(), window));
}

void TestSettings::timeoutBounds_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<int>("loaded");
    QTest::newRow("999") << "999" << 3000;
    QTest::newRow("1000") << "1000" << 1000;
    QTest::newRow("15000") << "15000" << 15000;
    QTest::newRow("15001") << "15001" << 3000;
    QTest::newRow("hex") << "$1388" << 5000;
    QTest::newRow("junk") << "fast" << 3000;
}

void TestSettings::timeoutBounds()
{
    QFETCH(QString, stored);
    QFETCH(int, loaded);
    TScratchIni scratch;
    scratch.Write("[Main]\nTimeout=" + stored.toStdString() + "\nCheckUpdates=260\n");
    TSettings settings;
    TWindowSettings window;
    settings.Load(scratch.Path(), window);
    QCOMPARE(settings.Values().Timeout, loaded);
    QCOMPARE(int(settings.Values().CheckUpdates), 4); // low eight bits
}

void TestSettings::positionKeysStayWhenNotSaved()
{
    TScratchIni scratch;
    scratch.Write("[Main]\nSaveWindowPos=0\nWindowPosX=17\nWindowPosY=23\nFullInfo=1\nServerIndex=5\n");
    TSettings settings;
    TWindowSettings window;
    window.WindowPosX = 400;
    window.WindowPosY = 300;
    settings.Load(scratch.Path(), window);
    QVERIFY(!settings.Values().SaveWindowPos);
    QCOMPARE(window.WindowPosX, 400);
    QVERIFY(window.FullInfo);
    QCOMPARE(window.ServerIndex, 5);
    window.WindowPosX = 1;
    settings.Save(scratch.Path(), window);
    TIniFile ini(scratch.Path());
    QVERIFY(ini.Load());
    QCOMPARE(ini.ReadInteger("Main", "WindowPosX", 0), 17);
    QCOMPARE(ini.ReadInteger("Main", "WindowPosY", 0), 23);

    TMainSettings values = settings.Values();
    values.SaveWindowPos = true;
    settings.Apply(values);
    window.WindowPosX = -40;
    window.WindowPosY = 1200;
    settings.Save(scratch.Path(), window);
    TWindowSettings again;
    settings.Load(scratch.Path(), again);
    QCOMPARE(again.WindowPosX, -40);
    QCOMPARE(again.WindowPosY, 1200);
}

void TestSettings::readLeavesTheFileAndKeepsWhatTheDialogDoesNotShow()
{
    TScratchIni scratch;
    const std::string stored = "[Main]\nLastRun=2026-03-01 08:15:30\nWineCommand=wine64 --quiet\nOneInstanceOnly=1\n";
    scratch.Write(stored);
    TSettings settings;
    TWindowSettings window;
    QVERIFY(settings.Read(scratch.Path(), window));
    QCOMPARE(scratch.Read(), stored);
    QCOMPARE(settings.Values().WineCommand, std::string("wine64 --quiet"));
    QVERIFY(settings.Values().OneInstanceOnly);

    // The settings dialog changes the Wine command in its own line; cleared, the key stays, empty.
    TMainSettings values = settings.Values();
    values.WineCommand = "/opt/wine staging/bin/wine";
    settings.Apply(values);
    QVERIFY(settings.Save(scratch.Path(), window));
    QVERIFY(scratch.Read().find("WineCommand=/opt/wine staging/bin/wine\nOneInstanceOnly=1\n") != std::string::npos);
    QVERIFY(scratch.Read().find("LastRun=2026-03-01 08:15:30\n") != std::string::npos);
    values.WineCommand.clear();
    settings.Apply(values);
    QVERIFY(settings.Save(scratch.Path(), window));
    QVERIFY(scratch.Read().find("WineCommand=\n") != std::string::npos);

    // A file without the key (the Windows edition's) gains none while the command is empty.
    scratch.Write("[Main]\nTimeout=3000\n");
    QVERIFY(settings.Save(scratch.Path(), window));
    QVERIFY(scratch.Read().find("WineCommand") == std::string::npos);
}

void TestSettings::listenersHearEveryApplyUntilTheyLetGo()
{
    TScratchIni scratch;
    scratch.Write("[Main]\nTimeout=5000\n");
    TSettings settings;
    int heard = 0;
    std::int32_t seen = 0;
    auto subscription = std::make_unique<TSettingsSubscription>(settings.Subscribe([&] {
        ++heard;
        seen = settings.Values().Timeout;
    }));
    TWindowSettings window;
    // Loading is the first state, which nobody shows yet.
    settings.Load(scratch.Path(), window);
    QCOMPARE(heard, 0);

    TMainSettings values = settings.Values();
    values.Timeout = 4100;
    settings.Apply(values);
    QCOMPARE(heard, 1);
    QCOMPARE(seen, 4100);
    // A dialog saved without an edit is still heard: what follows the settings is redone.
    settings.Apply(settings.Values());
    QCOMPARE(heard, 2);

    // A listener that lets go while it is told, and one that was never kept, hear nothing more.
    std::unique_ptr<TSettingsSubscription> second;
    int secondHeard = 0;
    second = std::make_unique<TSettingsSubscription>(settings.Subscribe([&] {
        ++secondHeard;
        second.reset();
    }));
    (void)settings.Subscribe([&] { ++secondHeard; });
    settings.Apply(values);
    QCOMPARE(secondHeard, 1);
    QCOMPARE(heard, 3);
    subscription.reset();
    settings.Apply(values);
    QCOMPARE(heard, 3);
    QCOMPARE(secondHeard, 1);
}

void TestSettings::lastRunKeepsPreviousStartInMemory()
{
    TScratchIni scratch;
    scratch.Write("[Main]\nLastRun=2026-03-01 08:15:30\n");
    TSettings settings;
    TWindowSettings window;
    settings.Load(scratch.Path(), window);
    TDateTime first = settings.Values().LastRun;
    QCOMPARE(FormatDateTime(first), std::string("2026-03-01 08:15:30"));
    TIniFile ini(scratch.Path());
    QVERIFY(ini.Load());
    TDateTime stamped = 0;
    QVERIFY(ParseDateTime(ini.ReadString("Main", "LastRun", ""), stamped));
    QVERIFY(std::abs(stamped - NowAsDateTime()) < 1.0 / 24);
    // A second start reads the first start's stamp.
    settings.Load(scratch.Path(), window);
    QCOMPARE(settings.Values().LastRun, stamped);
}

void TestSettings::dateTimeTextReadsBackExactly()
{
    for (TDateTime v : {kLastRunDefault, 46360.0, 46360.5, 46360.999988425925}) {
        TDateTime back = -1;
        QVERIFY(ParseDateTime(FormatDateTime(v), back));
        QCOMPARE(FormatDateTime(back), FormatDateTime(v));
        QVERIFY(std::abs(back - v) < 1.0 / 86400);
    }
    QCOMPARE(FormatDateTime(kLastRunDefault), std::string("1900-01-01 00:00:00"));
}

void TestSettings::olderDateFormsAndJunk_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected"); // empty: unreadable
    QTest::newRow("day first") << "7.12.2026 21:30:05"
                               << "2026-12-07 21:30:05";
    QTest::newRow("month first pm") << "12/7/2026 9:30:05 PM"
                                    << "2026-12-07 21:30:05";
    QTest::newRow("month first 12 am") << "12/7/2026 12:00:00 AM"
                                       << "2026-12-07 00:00:00";
    QTest::newRow("junk") << "yesterday"
                          << "";
    QTest::newRow("bad day") << "2026-02-30 10:00:00"
                             << "";
    QTest::newRow("trailing junk") << "2026-02-03 10:00:00x"
                                   << "";
    QTest::newRow("empty") << ""
                           << "";
}

void TestSettings::olderDateFormsAndJunk()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    TDateTime v = 0;
    bool ok = ParseDateTime(text.toStdString(), v);
    QCOMPARE(ok, !expected.isEmpty());
    if (ok)
        QCOMPARE(QString::fromStdString(FormatDateTime(v)), expected);
}

void TestSettings::selectionAndCentring()
{
    QCOMPARE(SelectedIndexFor(3, 4), 3);
    QCOMPARE(SelectedIndexFor(4, 4), 0);
    QCOMPARE(SelectedIndexFor(-1, 4), 0);
    QCOMPARE(SelectedIndexFor(0, 0), -1);
    QCOMPARE(CentredEdge(1920, 261), 829);
    QCOMPARE(CentredEdge(100, 261), -80); // rounds toward zero
}

QTEST_GUILESS_MAIN(TestSettings)
#include "test_settings.moc"
