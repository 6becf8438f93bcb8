// The main window's texts: every hint and menu caption from the text table, in both editions, and the
// Play button's pictures.
#include "core/globaltypes_u.h"
#include "core/localization_u.h"
#include "core/settings.h"
#include "monitor/probeservice.h"
#include "news/newsservice.h"
#include "support/testsupport.h"
#include "ui/ImgBtn.h"
#include "ui/localizemain.h"
#include "ui/mainfm.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QtTest>

namespace {

QString Text(TTextId id)
{
    return QString::fromStdString(LoadText(id));
}

} // namespace

class TestLocalizeMain : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void everyHintAndCaptionOfTheWindow();
    void panelLabelsAndNewsHintsWhenTheyExist();
    void bothEditionsHaveEveryWindowText();
};

void TestLocalizeMain::initTestCase()
{
    Q_INIT_RESOURCE(korvan);
    InitLocalization();
    FirstShow = false;
    FirstIdle = false;
}

void TestLocalizeMain::everyHintAndCaptionOfTheWindow()
{
    TScratchIni scratch;
    TSettings settings;
    TProbeService probes([&settings] { return settings.Values().Timeout; });
    TNewsService news;
    TMainForm form(settings, probes, news);
    const struct
    {
        const char* name;
        TTextId id;
    } hints[] = {{"BtnMinimize", TTextId::HintMinimize},
                 {"BtnClose", TTextId::HintClose},
                 {"BtnRefreshAll", TTextId::HintRefreshAll},
                 {"BtnDown", TTextId::HintMoveDown},
                 {"BtnUp", TTextId::HintMoveUp},
                 {"BtnMenu", TTextId::HintMenu},
                 {"BtnPlay", TTextId::HintPlay},
                 {"BtnAdd", TTextId::HintAdd},
                 {"BtnRemove", TTextId::HintRemove},
                 {"BtnEdit", TTextId::HintEdit},
                 {"btnInfoPanel", TTextId::HintInfoPanel}};
    for (const auto& hint : hints) {
        auto* button = form.findChild<TImgBtn*>(hint.name);
        QVERIFY2(button, hint.name);
        QVERIFY(!Text(hint.id).isEmpty());
        // The design's hint comes first; a line naming the keys may follow it.
        QCOMPARE(button->toolTip().section(QLatin1Char('\n'), 0, 0), Text(hint.id));
        // Every button has its pictures.
        QVERIFY2(!button->Pic().isNull() && !button->PicUp().isNull() && !button->PicDown().isNull(), hint.name);
    }
    QCOMPARE(form.findChild<QMenu*>("ItemFoldersClearing")->title(), Text(TTextId::MenuFoldersClearing));
    const QStringList submenu = {Text(TTextId::MenuClearWDB), Text(TTextId::MenuClearWTF),
                                 Text(TTextId::MenuClearScreenshots)};
    QStringList captions;
    for (QAction* action : form.findChild<QMenu*>("ItemFoldersClearing")->actions())
        captions << action->text();
    QCOMPARE(captions, submenu);

    // Play: the normal picture is also the pressed one; the hover picture is its own.
    auto* play = form.findChild<TImgBtn*>("BtnPlay");
    QCOMPARE(play->PicDown().cacheKey(), play->Pic().cacheKey());
    QCOMPARE(play->Picture().cacheKey(), play->Pic().cacheKey());
    QVERIFY(play->PicUp().cacheKey() != play->Pic().cacheKey());
    QCOMPARE(play->Pic().deviceIndependentSize().toSize(), QSize(86, 27));
}

void TestLocalizeMain::panelLabelsAndNewsHintsWhenTheyExist()
{
    QWidget form;
    auto* next = new QWidget(&form);
    next->setObjectName("BtnNext");
    auto* prev = new QWidget(&form);
    prev->setObjectName("BtnPrev");
    auto* label = new QLabel("Realmlist (design)", &form);
    label->setObjectName("LabRealmlist");
    auto* rss = new QLabel(&form);
    rss->setObjectName("LabRSSChannel");
    LocalizeMainForm(&form);
    QCOMPARE(next->toolTip(),
             Text(TTextId::HintOlderNews) + "\n\rAlt + " + QString::fromStdString(Msg(TTextId::RightArrow)));
    QCOMPARE(prev->toolTip(),
             Text(TTextId::HintNewerNews) + "\n\rAlt + " + QString::fromStdString(Msg(TTextId::LeftArrow)));
    QCOMPARE(label->text(), Text(TTextId::PanelRealmlist));
    QCOMPARE(rss->text(), Text(TTextId::PanelRSSChannel));
}

void TestLocalizeMain::bothEditionsHaveEveryWindowText()
{
    for (const TTextTable& table : {EnglishTextTable(), CzechTextTable()})
        for (int id = 2000; id <= 2031; ++id)
            QVERIFY2(!LoadTextFrom(table.entries, table.count, id, kTextBufferLength).empty(),
                     qPrintable(QString::number(id)));
}

QTEST_MAIN(TestLocalizeMain)
#include "test_localizemain.moc"
