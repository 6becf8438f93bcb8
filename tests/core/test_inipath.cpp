// Where tavix.ini lives: beside a program in the user's own folder, in the user's configuration folder for
// a copy installed into the system.
#include "buildconfig.h"
#include "core/inipath.h"

#include <QtTest>

class TestIniPath : public QObject
{
    Q_OBJECT

private slots:
    void location_data();
    void location();
    void configHome_data();
    void configHome();
};

void TestIniPath::location_data()
{
    QTest::addColumn<QString>("programFolder");
    QTest::addColumn<bool>("writable");
    QTest::addColumn<QString>("configHome");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<bool>("installed");

    const QString cfg = "/home/u/.config/";
    QTest::newRow("unpacked in a folder of one's own")
        << "/home/u/games/korvan/" << true << cfg << "/home/u/games/korvan/" << false;
    QTest::newRow("folder named without separator") << "/home/u/k" << true << cfg << "/home/u/k/" << false;
    QTest::newRow("folder the user cannot write")
        << "/opt/korvan/" << false << cfg << "/home/u/.config/korvan/" << true;
    QTest::newRow("installed, run by root who could write")
        << "/usr/bin/" << true << cfg << "/home/u/.config/korvan/" << true;
    QTest::newRow("installed under /usr/local")
        << "/usr/local/bin/" << true << cfg << "/home/u/.config/korvan/" << true;
    QTest::newRow("the build's own install folder")
        << QString(KORVAN_INSTALL_BINDIR) << true << cfg << "/home/u/.config/korvan/" << true;
    QTest::newRow("a folder only named like /usr") << "/usrdata/korvan/" << true << cfg << "/usrdata/korvan/" << false;
    QTest::newRow("config home without separator") << "/opt/korvan/" << false << "/srv/cfg"
                                                   << "/srv/cfg/korvan/" << true;
    QTest::newRow("no home at all stays beside the program") << "/opt/korvan/" << false << ""
                                                             << "/opt/korvan/" << true;
}

void TestIniPath::location()
{
    QFETCH(QString, programFolder);
    QFETCH(bool, writable);
    QFETCH(QString, configHome);
    QFETCH(QString, folder);
    QFETCH(bool, installed);
    const TIniLocation location = ChooseIniLocation(programFolder.toStdString(), writable, configHome.toStdString());
    QCOMPARE(QString::fromStdString(location.Folder), folder);
    QCOMPARE(location.Installed, installed);
}

void TestIniPath::configHome_data()
{
    QTest::addColumn<QString>("xdg");
    QTest::addColumn<QString>("home");
    QTest::addColumn<QString>("expected");
    QTest::newRow("set") << "/x/cfg"
                         << "/home/u"
                         << "/x/cfg/";
    QTest::newRow("set with separator") << "/x/cfg/"
                                        << "/home/u"
                                        << "/x/cfg/";
    QTest::newRow("relative value is ignored") << "cfg"
                                               << "/home/u"
                                               << "/home/u/.config/";
    QTest::newRow("unset") << ""
                           << "/home/u/"
                           << "/home/u/.config/";
    QTest::newRow("nothing to go by") << ""
                                      << ""
                                      << "";
}

void TestIniPath::configHome()
{
    QFETCH(QString, xdg);
    QFETCH(QString, home);
    QFETCH(QString, expected);
    QCOMPARE(QString::fromStdString(ConfigHome(xdg.toStdString(), home.toStdString())), expected);
}

QTEST_GUILESS_MAIN(TestIniPath)
#include "test_inipath.moc"
