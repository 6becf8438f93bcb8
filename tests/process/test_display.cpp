// Start-up where a display is named but none answers: the same clear message as without any display, and
// exit status 1, not an abort inside the toolkit.
#include "support/korvanproc.h"

#include <QtTest>

class TestDisplay : public QObject
{
    Q_OBJECT

private slots:
    void silentDisplayIsExplained_data()
    {
        QTest::addColumn<QString>("variable");
        QTest::addColumn<QString>("value");
        QTest::newRow("X display nobody serves") << "DISPLAY"
                                                 << ":987";
        QTest::newRow("Wayland display that does not exist") << "WAYLAND_DISPLAY"
                                                             << "nonexistent";
    }

    void silentDisplayIsExplained()
    {
        QFETCH(QString, variable);
        QFETCH(QString, value);
        TKorvanProcess without(TKorvanProcess::Display::None);
        QVERIFY2(without.IsReady(), qPrintable(without.Error()));
        QVERIFY(without.Run({}));
        const QByteArray expected = without.StdErr();
        QVERIFY(!expected.isEmpty());

        TKorvanProcess korvan(TKorvanProcess::Display::None);
        QVERIFY2(korvan.IsReady(), qPrintable(korvan.Error()));
        korvan.Environment().insert(variable, value);
        QVERIFY(korvan.Run({}));
        QVERIFY2(korvan.ExitedNormally(), korvan.StdErr().constData());
        QCOMPARE(korvan.ExitCode(), 1);
        QCOMPARE(korvan.StdErr(), expected);
        QVERIFY2(!korvan.Exists(QStringLiteral("tavix.ini")), "nothing is written without a display");
    }
};

QTEST_GUILESS_MAIN(TestDisplay)
#include "test_display.moc"
