// A tavix.ini as Windows tools leave it, through one run of the real program: every server comes back
// under its own name, and the file keeps its encoding and its hand-written lines.
#include "support/korvanproc.h"

#include <QtTest>

class TestIniFile : public QObject
{
    Q_OBJECT

private slots:
    void windowsFileSurvivesARun()
    {
        // Saved by a Windows text editor in UTF-16, with servers whose names hold brackets and a section
        // that holds only a comment.
        const QString text = QStringLiteral("[Main]\r\nTimeout=500\r\n"
                                            "[[PvP] Frost]\r\nAddress=127.0.0.1:1\r\n"
                                            "[[PvP] Blood]\r\nAddress=127.0.0.1:2\r\n"
                                            "[Notes]\r\n; kept by hand\r\n");
        QByteArray utf16("\xFF\xFE", 2);
        for (QChar c : text) {
            utf16 += char(c.unicode() & 0xFF);
            utf16 += char(c.unicode() >> 8);
        }
        TKorvanProcess korvan;
        QVERIFY2(korvan.IsReady(), qPrintable(korvan.Error()));
        QVERIFY(korvan.WriteFile(QStringLiteral("tavix.ini"), utf16));
        QVERIFY(korvan.Start());
        QVERIFY2(!korvan.MainWindow().isEmpty(), korvan.StdErr().constData());
        QVERIFY(korvan.Key(QStringLiteral("Escape")));
        QVERIFY(korvan.WaitForExit());
        QCOMPARE(korvan.ExitCode(), 0);

        const QByteArray saved = korvan.ReadFile(QStringLiteral("tavix.ini"));
        QVERIFY(saved.startsWith(QByteArray("\xFF\xFE", 2)));
        const QString back =
            QString::fromUtf16(reinterpret_cast<const char16_t*>(saved.constData() + 2), (saved.size() - 2) / 2);
        QVERIFY2(back.contains(QStringLiteral("[[PvP] Frost]\r\nAddress=127.0.0.1:1\r\n")), qPrintable(back));
        QVERIFY2(back.contains(QStringLiteral("[[PvP] Blood]\r\nAddress=127.0.0.1:2\r\n")), qPrintable(back));
        QVERIFY2(back.contains(QStringLiteral("[Notes]\r\n; kept by hand\r\nAddress=\r\n")), qPrintable(back));
        QVERIFY(back.contains(QStringLiteral("LastRun=")));
    }

    void serversWithoutKeysStayInListOrder()
    {
        // A server added by hand as a bare header, between two others, selected at start.
        TKorvanProcess korvan;
        QVERIFY2(korvan.IsReady(), qPrintable(korvan.Error()));
        QVERIFY(korvan.WriteFile(QStringLiteral("tavix.ini"),
                                 "[Main]\nTimeout=500\nServerIndex=1\n[Alpha]\nAddress=127.0.0.1:1\n[Empty]\n"
                                 "[Beta]\nAddress=127.0.0.1:2\n[Gamma]\nAddress=127.0.0.1:3\n"));
        QVERIFY(korvan.Start());
        QVERIFY2(!korvan.MainWindow().isEmpty(), korvan.StdErr().constData());
        QVERIFY(korvan.Key(QStringLiteral("Escape")));
        QVERIFY(korvan.WaitForExit());
        QCOMPARE(korvan.ExitCode(), 0);
        QCOMPARE(SectionOrder(korvan.ReadFile(QStringLiteral("tavix.ini"))),
                 (QList<QByteArray>{"[Main]", "[Alpha]", "[Empty]", "[Beta]", "[Gamma]"}));

        // Moved down once in the window: so it is in the file.
        QVERIFY(korvan.Start());
        QVERIFY2(!korvan.MainWindow().isEmpty(), korvan.StdErr().constData());
        QVERIFY(korvan.Key(QStringLiteral("alt+Down")));
        QVERIFY(korvan.Key(QStringLiteral("Escape")));
        QVERIFY(korvan.WaitForExit());
        QCOMPARE(korvan.ExitCode(), 0);
        QCOMPARE(SectionOrder(korvan.ReadFile(QStringLiteral("tavix.ini"))),
                 (QList<QByteArray>{"[Main]", "[Alpha]", "[Beta]", "[Empty]", "[Gamma]"}));
    }

private:
    static QList<QByteArray> SectionOrder(const QByteArray& ini)
    {
        QList<QByteArray> headers;
        for (const QByteArray& line : ini.split('\n'))
            if (line.startsWith('['))
                headers << line.trimmed();
        return headers;
    }
};

QTEST_GUILESS_MAIN(TestIniFile)
#include "test_inifile.moc"
