// The INI engine against the Windows profile functions themselves: a probe built for Windows reads the
// same files under Wine, and both must list the same sections and keys and read the same values.
// Skipped where the probe could not be built or Wine is not installed.
#include "core/ini.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

namespace {

constexpr int kProbeTimeoutMs = 120000;

QByteArray Escaped(std::string_view text)
{
    QByteArray out;
    for (char ch : text) {
        auto c = static_cast<unsigned char>(ch);
        if (c < 0x20 || c > 0x7E || c == '\\')
            out += QByteArray("\\x") + QByteArray::number(c, 16).rightJustified(2, '0');
        else
            out += ch;
    }
    return out;
}

// Our engine's answers in the probe's output format.
QByteArray OurReading(const std::string& file, const QList<QPair<QByteArray, QByteArray>>& queries)
{
    TIniFile ini;
    ini.LoadFromText(file);
    QByteArray out;
    for (const std::string& section : ini.SectionNames()) {
        out += "[" + Escaped(section) + "]\n";
        for (const std::string& key : ini.KeyNames(section))
            out += "  " + Escaped(key) + "=" + Escaped(ini.ReadString(section, key, "<def>")) + "\n";
    }
    for (const auto& [section, key] : queries)
        out += "? [" + Escaped(section.toStdString()) + "] " + Escaped(key.toStdString()) + " -> " +
               Escaped(ini.ReadString(section.toStdString(), key.toStdString(), "<def>")) + "\n";
    return out;
}

QByteArray Utf16(const QByteArray& ascii, bool bigEndian)
{
    QByteArray out = bigEndian ? QByteArray("\xFE\xFF", 2) : QByteArray("\xFF\xFE", 2);
    for (char c : ascii) {
        out += bigEndian ? '\0' : c;
        out += bigEndian ? c : '\0';
    }
    return out;
}

} // namespace

using TQueries = QList<QPair<QByteArray, QByteArray>>;

class TestIniWindows : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void sameReadingAsWindows_data();
    void sameReadingAsWindows();

private:
    bool RunProbe(const QByteArray& file, const TQueries& queries, QByteArray& output) const;

    QString wine_;
};

void TestIniWindows::initTestCase()
{
    if (QByteArray(KORVAN_INI_PROBE).isEmpty())
        QSKIP("the Windows probe was not built (no MinGW-w64)");
    wine_ = QStandardPaths::findExecutable("wine");
    if (wine_.isEmpty())
        QSKIP("Wine is not installed");
    // The first run also makes the Wine prefix, which takes a while once.
    QByteArray output;
    if (!RunProbe("[A]\r\nk=1\r\n", {}, output) || !output.startsWith("[A]"))
        QSKIP("Wine does not run the probe here");
}

void TestIniWindows::sameReadingAsWindows_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<TQueries>("queries");
    QTest::newRow("brackets in names")
        << QByteArray("[My [EU] server]\r\nx=2\r\n[B]]\r\nm=1\r\n[A] tail\r\nk=1\r\n[[C]\r\nn=3\r\n[E];x]\r\np=5\r\n")
        << TQueries{};
    QTest::newRow("open bracket") << QByteArray("[A]\r\nk=1\r\n[open\r\ny=3\r\n[x=4\r\n]\r\nq=1\r\n")
                                  << TQueries{{"open", "y"}, {"A", "[x"}};
    QTest::newRow("empty headers") << QByteArray("z=0\r\n[A]\r\nk=1\r\n[]\r\nz=4\r\n[ \t]\r\nw=5\r\n[B]\r\nj=1\r\n")
                                   << TQueries{{"A", "z"}, {"A", "w"}, {"B", "j"}};
    QTest::newRow("lone CR") << QByteArray("[A]\rk=1\r[B]\rm=2\rn=3") << TQueries{};
    QTest::newRow("mixed line ends") << QByteArray("[A]\n\rk=1\r\r\n[B]\r\nm=2\n\n") << TQueries{};
    QTest::newRow("Ctrl-Z") << QByteArray("[A]\r\nk=1\x1A\r\n\x1A[B]\x1A\r\nm=2\x1Am\r\n\x1A\r\n\x1An\x1A=\x1A"
                                          "3\r\n\x1A")
                            << TQueries{};
    QTest::newRow("blanks") << QByteArray("\t[ B ]\v\r\n w \f= 5 \r\n my key = v v \r\n") << TQueries{};
    QTest::newRow("comments") << QByteArray("[A]\r\n;c=6\r\nnoeq\r\nk=1\r\n[B]\r\n; notes\r\n\r\n")
                              << TQueries{{"A", ";c"}, {"A", "noeq"}};
    QTest::newRow("quotes") << QByteArray("[A]\r\na=\"q v\"\r\nb='s'\r\nc=\"mis'\r\nd=\"\"\r\ne= \" x \" \r\nf=\"\r\n")
                            << TQueries{};
    QTest::newRow("first of equal names")
        << QByteArray("[A]\r\nk=1\r\n[a]\r\nk=2\r\nj=9\r\nK=3\r\n") << TQueries{{"A", "j"}, {"a", "k"}};
    QTest::newRow("legacy bytes") << QByteArray("[\x8A"
                                                "koda]\r\nk=\xE8\r\n")
                                  << TQueries{};
    QTest::newRow("UTF-8 with mark") << QByteArray("\xEF\xBB\xBF[A]\r\nk=1\r\n") << TQueries{};
    QTest::newRow("UTF-16 LE") << Utf16("[A]\r\nk=1\r\n[My [EU]]\rm=2", false) << TQueries{{"A", "k"}};
    QTest::newRow("UTF-16 BE") << Utf16("[A]\r\nk=1\r\n[My [EU]]\rm=2", true) << TQueries{{"A", "k"}};
}

bool TestIniWindows::RunProbe(const QByteArray& file, const TQueries& queries, QByteArray& output) const
{
    QTemporaryDir dir;
    QFile out(dir.filePath("probe.ini"));
    if (!dir.isValid() || !out.open(QIODevice::WriteOnly) || out.write(file) != file.size())
        return false;
    out.close();
    QProcess probe;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("WINEPREFIX", KORVAN_WINE_PREFIX);
    env.insert("WINEDEBUG", "-all");
    // No window and no question from Wine's first start in a fresh prefix.
    env.insert("WINEDLLOVERRIDES", "mscoree,mshtml=");
    env.remove("DISPLAY");
    probe.setProcessEnvironment(env);
    QStringList args{KORVAN_INI_PROBE, out.fileName()};
    for (const auto& [section, key] : queries)
        args << QString::fromLatin1(section) << QString::fromLatin1(key);
    probe.start(wine_, args);
    if (!probe.waitForFinished(kProbeTimeoutMs) || probe.exitStatus() != QProcess::NormalExit || probe.exitCode() != 0)
        return false;
    output = probe.readAllStandardOutput();
    output.replace("\r\n", "\n");
    return true;
}

void TestIniWindows::sameReadingAsWindows()
{
    QFETCH(QByteArray, file);
    QFETCH(TQueries, queries);
    QByteArray windows;
    QVERIFY(RunProbe(file, queries, windows));
    QCOMPARE(OurReading(file.toStdString(), queries), windows);
}

QTEST_GUILESS_MAIN(TestIniWindows)
#include "test_ini_windows.moc"
