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
        // Each row: environment variables a session would set ("-NAME" takes one away). A desktop's own
        // runtime folder, session type and platform list matter because the toolkit's plugins (Wayland's
        // among them) and the libraries under them speak up when they cannot connect.
        QTest::addColumn<QStringList>("variables");
        QTest::newRow("X display nobody serves") << QStringList{"DISPLAY=:987"};
        QTest::newRow("Wayland display that does not exist")
            << QStringList{"WAYLAND_DISPLAY=nonexistent", "-XDG_RUNTIME_DIR"};
        QTest::newRow("Wayland session whose compositor is gone")
            << QStringList{"WAYLAND_DISPLAY=wayland-0", "XDG_SESSION_TYPE=wayland", "XDG_RUNTIME_DIR=<runtime>"};
        QTest::newRow("desktop's platform list, nothing answers")
            << QStringList{"QT_QPA_PLATFORM=wayland;xcb", "WAYLAND_DISPLAY=wayland-0", "DISPLAY=:987"};
    }

    void silentDisplayIsExplained()
    {
        QFETCH(QStringList, variables);
        TKorvanProcess without(TKorvanProcess::Display::None);
        QVERIFY2(without.IsReady(), qPrintable(without.Error()));
        QVERIFY(without.Run({}));
        const QByteArray expected = without.StdErr();
        QVERIFY(!expected.isEmpty());

        TKorvanProcess korvan(TKorvanProcess::Display::None);
        QVERIFY2(korvan.IsReady(), qPrintable(korvan.Error()));
        // A runtime folder of the user's own, as a desktop session has one, with nothing listening in it.
        const QString runtime = korvan.Root() + QStringLiteral("/runtime");
        QVERIFY(QDir().mkpath(runtime));
        QVERIFY(QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        for (const QString& variable : variables) {
            if (variable.startsWith(QLatin1Char('-'))) {
                korvan.Environment().remove(variable.mid(1));
                continue;
            }
            const qsizetype eq = variable.indexOf(QLatin1Char('='));
            QString value = variable.mid(eq + 1);
            korvan.Environment().insert(variable.left(eq), value.replace(QStringLiteral("<runtime>"), runtime));
        }
        QVERIFY(korvan.Run({}));
        QVERIFY2(korvan.ExitedNormally(), korvan.StdErr().constData());
        QCOMPARE(korvan.ExitCode(), 1);
        // Ours, and only ours: what the toolkit and its libraries said while they tried is not the point.
        QCOMPARE(korvan.StdErr(), expected);
        QVERIFY2(!korvan.Exists(QStringLiteral("tavix.ini")), "nothing is written without a display");
    }
};

QTEST_GUILESS_MAIN(TestDisplay)
#include "test_display.moc"
