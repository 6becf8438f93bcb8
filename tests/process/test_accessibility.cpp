// The real program as a screen reader meets it: a private session bus and accessibility bus, the program
// under its own X server with accessibility on, and the tree read through AT-SPI by a small python script.
#include "support/korvanproc.h"

#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QtTest>

namespace {

const QByteArray kServers = "[Main]\r\nTimeout=500\r\nServerIndex=0\r\n"
                            "[Emberfall]\r\nAddress=127.0.0.1:1\r\n"
                            "[Duskmere]\r\nAddress=127.0.0.1:2\r\n";
constexpr const char* kSystemPython = "/usr/bin/python3";
constexpr const char* kBusLauncher = "/usr/libexec/at-spi-bus-launcher";
constexpr int kBusStartMs = 10000;
constexpr int kTreeReadMs = 60000;
constexpr const char* kTreeWaitSeconds = "30";

struct TNode
{
    QString role;
    QString name;
};

QList<TNode> ParseTree(const QByteArray& output)
{
    QList<TNode> nodes;
    for (const QByteArray& line : output.split('\n')) {
        const QList<QByteArray> fields = line.split('\t');
        if (fields.size() == 3)
            nodes.append({QString::fromUtf8(fields[1]), QString::fromUtf8(fields[2])});
    }
    return nodes;
}

bool Has(const QList<TNode>& nodes, const QString& role, const QRegularExpression& name)
{
    return std::any_of(nodes.begin(), nodes.end(),
                       [&](const TNode& node) { return node.role == role && name.match(node.name).hasMatch(); });
}

} // namespace

class TestAccessibility : public QObject
{
    Q_OBJECT

private slots:
    void screenReaderReadsButtonsAndServerRows();

private:
    void StopProcess(QProcess& process);
};

void TestAccessibility::StopProcess(QProcess& process)
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(3000)) {
        process.kill();
        process.waitForFinished(3000);
    }
}

void TestAccessibility::screenReaderReadsButtonsAndServerRows()
{
    const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
    // Debian's own python, where its pyatspi package is; a python of the user's own may not have it.
    const QString python = QFile::exists(QString::fromLatin1(kSystemPython))
                               ? QString::fromLatin1(kSystemPython)
                               : QStandardPaths::findExecutable(QStringLiteral("python3"));
    if (daemon.isEmpty() || python.isEmpty() || !QFile::exists(QString::fromLatin1(kBusLauncher)))
        QSKIP("dbus-daemon, python3 or at-spi2-core is not installed");
    if (QProcess::execute(python, {QStringLiteral("-c"), QStringLiteral("import pyatspi")}) != 0)
        QSKIP("python3-pyatspi is not installed");

    // A session bus of the test's own: nothing of a desktop the tests may run in is touched.
    QProcess bus;
    bus.start(daemon, {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
    QVERIFY(bus.waitForStarted());
    QByteArray address;
    QDeadlineTimer busDeadline(kBusStartMs);
    while (!address.contains('\n') && !busDeadline.hasExpired() && bus.waitForReadyRead(500))
        address += bus.readAllStandardOutput();
    address = address.trimmed();
    QVERIFY2(!address.isEmpty(), bus.readAllStandardError().constData());

    TKorvanProcess korvan;
    QVERIFY2(korvan.IsReady(), qPrintable(korvan.Error()));
    QProcessEnvironment env = korvan.Environment();
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QString::fromUtf8(address));
    env.insert(QStringLiteral("QT_LINUX_ACCESSIBILITY_ALWAYS_ON"), QStringLiteral("1"));
    env.insert(QStringLiteral("NO_AT_BRIDGE"), QStringLiteral("0"));
    env.insert(QStringLiteral("DISPLAY"), korvan.DisplayName());
    korvan.Environment() = env;

    // The accessibility bus, as the desktop session would start it.
    QProcess launcher;
    launcher.setProcessEnvironment(env);
    launcher.start(QString::fromLatin1(kBusLauncher), {QStringLiteral("--launch-immediately")});
    QVERIFY(launcher.waitForStarted());

    QVERIFY(korvan.WriteFile(QStringLiteral("tavix.ini"), kServers));
    QVERIFY(korvan.Start());
    QVERIFY2(!korvan.MainWindow().isEmpty(), korvan.StdErr().constData());

    QProcess reader;
    reader.setProcessEnvironment(env);
    reader.start(python, {QStringLiteral(KORVAN_ATSPI_TREE), QString::number(korvan.Pid()),
                          QString::fromLatin1(kTreeWaitSeconds)});
    const bool read = reader.waitForFinished(kTreeReadMs);
    const QByteArray tree = reader.readAllStandardOutput();
    const QByteArray problems = reader.readAllStandardError();
    QVERIFY(korvan.Key(QStringLiteral("ctrl+q")));
    const bool ended = korvan.WaitForExit();
    StopProcess(reader);
    StopProcess(launcher);
    StopProcess(bus);
    QVERIFY2(read && reader.exitCode() == 0, problems.constData());
    QVERIFY(ended);
    QCOMPARE(korvan.ExitCode(), 0);

    const QList<TNode> nodes = ParseTree(tree);
    const auto button = [&](const char* name) {
        return Has(nodes, QStringLiteral("push button"),
                   QRegularExpression(QStringLiteral("^%1$").arg(QRegularExpression::escape(QString::fromUtf8(name)))));
    };
    for (const char* name : {"Play", "Menu", "Add server", "Remove server", "Edit server", "Close", "Minimize",
                             "Move server up", "Move server down", "Refresh all servers", "Information panel"})
        QVERIFY2(button(name), qPrintable(QString::fromUtf8(name) + "\n" + QString::fromUtf8(tree)));
    QVERIFY2(Has(nodes, QStringLiteral("list"), QRegularExpression(QStringLiteral("^Servers$"))), tree.constData());
    // Each row says its server and its state, whatever the probe has found by now.
    const QString state = QStringLiteral("(online(, \\d+ ms)?|offline|being checked)$");
    QVERIFY2(Has(nodes, QStringLiteral("list item"), QRegularExpression(QStringLiteral("^Emberfall, ") + state)),
             tree.constData());
    QVERIFY2(Has(nodes, QStringLiteral("list item"), QRegularExpression(QStringLiteral("^Duskmere, ") + state)),
             tree.constData());
    // The status line speaks of the selected server.
    QVERIFY2(Has(nodes, QStringLiteral("label"), QRegularExpression(QStringLiteral("^Emberfall, ") + state)),
             tree.constData());
}

QTEST_GUILESS_MAIN(TestAccessibility)
#include "test_accessibility.moc"
