// Start-up rules that need no running program: the update parameter and the single-instance answer.
#include "app/startup.h"
#include "core/localization_u.h"
#include "platform/instance.h"
#include "ui/msgbox.h"

#include <QtTest>

class TestStartup : public QObject
{
    Q_OBJECT

private slots:
    void updateParameterInAnyCase();
    void secondCopyIsToldAndStops();
};

void TestStartup::updateParameterInAnyCase()
{
    QVERIFY(IsUpdateParameter("UPDATE"));
    QVERIFY(IsUpdateParameter("update"));
    QVERIFY(IsUpdateParameter("UpDaTe"));
    QVERIFY(!IsUpdateParameter("updates"));
    QVERIFY(!IsUpdateParameter(""));
}

void TestStartup::secondCopyIsToldAndStops()
{
    InitLocalization();
    QList<TMessageRequest> shown;
    SetMessageHook([&](const TMessageRequest& r) {
        shown << r;
        return IDOK;
    });
    platform::InstanceLock first, second;
    QVERIFY(EnsureSingleInstance(first));
    QVERIFY(shown.isEmpty());
    QVERIFY(!EnsureSingleInstance(second));
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].text, QString::fromStdString(Msg(TTextId::OneInstanceOnly)));
    QCOMPARE(shown[0].caption, QString("Information"));
    QCOMPARE(shown[0].icon, TMsgIcon::Information);
    QVERIFY(first.Held());
    first.Release();
    QVERIFY(EnsureSingleInstance(second));
    SetMessageHook({});
}

QTEST_MAIN(TestStartup)
#include "test_startup.moc"
