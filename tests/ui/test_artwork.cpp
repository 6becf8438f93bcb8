// The compiled-in artwork: every picture the index names loads at its stated size, and the window skin
// keeps the properties the window's shape and layout rely on; the state balls read apart without colour.
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QRegularExpression>
#include <QSvgRenderer>
#include <QtTest>
#include <algorithm>
#include <cmath>
#include <vector>

namespace {

const QString kSkinFolder = QStringLiteral(":/artwork/skin/");
const QString kSkin = kSkinFolder + QStringLiteral("Skin.svg");
const QRgb kKeyColour = qRgb(0xFF, 0x00, 0xFF);
const QRgb kPanelColour = qRgb(0x19, 0x19, 0x19);
constexpr int kHiDpi = 2;

// Where the selected-row balls sit on the selection bar: row right - 18, row top + 2.
constexpr int kSelectionWidth = 222;
constexpr int kBallInset = 18;
constexpr int kBallTop = 2;

struct TIndexEntry
{
    QString resource;
    QSize size;
};

QList<TIndexEntry> ReadIndex()
{
    QList<TIndexEntry> entries;
    QFile file(QFINDTESTDATA("../../resources/artwork/skin/INDEX.md"));
    if (!file.open(QIODevice::ReadOnly))
        return entries;
    static const QRegularExpression row(QStringLiteral("^\\| `([^`]+\\.svg)` \\| (\\d+) × (\\d+) \\|"));
    for (const QString& line : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'))) {
        const QRegularExpressionMatch m = row.match(line);
        if (m.hasMatch())
            entries.append(
                {QDir::cleanPath(kSkinFolder + m.captured(1)), QSize(m.captured(2).toInt(), m.captured(3).toInt())});
    }
    return entries;
}

QImage Render(const QString& resource, int scale = 1)
{
    QSvgRenderer renderer(resource);
    QImage image(renderer.defaultSize() * scale, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    renderer.render(&painter);
    return image;
}

// The grey levels of a ball's gem, inside its rim: what is left of the picture on a grey screen.
std::vector<double> GemInGrey(const QString& resource, int scale)
{
    constexpr double kGemRadius = 4.6;
    const QImage image = Render(resource, scale);
    const double centre = image.width() / 2.0;
    const double radius = kGemRadius * scale;
    std::vector<double> grey;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const double dx = x + 0.5 - centre;
            const double dy = y + 0.5 - centre;
            if (dx * dx + dy * dy > radius * radius)
                continue;
            const QRgb p = image.pixel(x, y);
            grey.push_back(0.2126 * qRed(p) + 0.7152 * qGreen(p) + 0.0722 * qBlue(p));
        }
    return grey;
}

// How alike two grey pictures are in shape, whatever their brightness and contrast: 1 for the same
// pattern (two gems of one drawing in other colours), near 0 for unrelated ones.
double Likeness(const std::vector<double>& a, const std::vector<double>& b)
{
    const auto n = static_cast<double>(a.size());
    double meanA = 0, meanB = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        meanA += a[i] / n;
        meanB += b[i] / n;
    }
    double ab = 0, aa = 0, bb = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        ab += (a[i] - meanA) * (b[i] - meanB);
        aa += (a[i] - meanA) * (a[i] - meanA);
        bb += (b[i] - meanB) * (b[i] - meanB);
    }
    return aa > 0 && bb > 0 ? ab / std::sqrt(aa * bb) : 1.0;
}

bool IsKey(const QImage& image, int x, int y)
{
    return image.pixel(x, y) == kKeyColour;
}

bool FullyOpaque(const QImage& image)
{
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(image.pixel(x, y)) != 255)
                return false;
    return true;
}

} // namespace

class TestArtwork : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void everyIndexedPictureLoadsAtItsSize();
    void everyCompiledPictureIsIndexed();
    void skinCutOutIsKeyColouredCrispAndSymmetric();
    void skinLeavesEveryControlOnOpaquePixels_data();
    void skinLeavesEveryControlOnOpaquePixels();
    void backgroundsUnderTextArePanelColoured_data();
    void backgroundsUnderTextArePanelColoured();
    void listFrameClosesOnTheListOnEverySide();
    void picturesDrawnAsBackgroundsAreOpaque();
    void ballsMatchTheBackgroundTheyAreDrawnOn();
    void stateBallsDifferInShapeNotOnlyInColour_data();
    void stateBallsDifferInShapeNotOnlyInColour();
};

void TestArtwork::initTestCase()
{
    // The artwork lives in a static library, whose resources the linker would otherwise leave out.
    Q_INIT_RESOURCE(korvan);
}

void TestArtwork::everyIndexedPictureLoadsAtItsSize()
{
    const QList<TIndexEntry> entries = ReadIndex();
    QVERIFY2(entries.size() > 1, "the index lists no pictures");
    for (const TIndexEntry& entry : entries) {
        QSvgRenderer renderer(entry.resource);
        QVERIFY2(renderer.isValid(), qPrintable(entry.resource));
        QVERIFY2(renderer.defaultSize() == entry.size, qPrintable(entry.resource));
    }
}

void TestArtwork::everyCompiledPictureIsIndexed()
{
    QStringList indexed;
    for (const TIndexEntry& entry : ReadIndex())
        indexed << entry.resource;
    for (const QString& name : QDir(kSkinFolder).entryList({QStringLiteral("*.svg")}, QDir::Files))
        QVERIFY2(indexed.contains(kSkinFolder + name), qPrintable(name));
}

void TestArtwork::skinCutOutIsKeyColouredCrispAndSymmetric()
{
    const QImage skin = Render(kSkin);
    const QImage sharp = Render(kSkin, kHiDpi);
    QCOMPARE(skin.size(), QSize(261, 268));
    QCOMPARE(skin.pixel(0, 0), kKeyColour);
    QVERIFY(FullyOpaque(skin));
    int cut = 0;
    for (int y = 0; y < skin.height(); ++y) {
        for (int x = 0; x < skin.width(); ++x) {
            const bool key = IsKey(skin, x, y);
            cut += key ? 1 : 0;
            // Left and right edges mirror each other.
            QVERIFY2(key == IsKey(skin, skin.width() - 1 - x, y), qPrintable(QStringLiteral("%1,%2").arg(x).arg(y)));
            // No blended boundary: the cut-out is the same at scale 2, pixel block for pixel block.
            for (int dy = 0; dy < kHiDpi; ++dy)
                for (int dx = 0; dx < kHiDpi; ++dx)
                    QVERIFY2(key == IsKey(sharp, x * kHiDpi + dx, y * kHiDpi + dy),
                             qPrintable(QStringLiteral("%1,%2").arg(x).arg(y)));
        }
    }
    // All four corners are cut, and only a small share of the picture is.
    QVERIFY(IsKey(skin, skin.width() - 1, 0));
    QVERIFY(IsKey(skin, 0, skin.height() - 1));
    QVERIFY(IsKey(skin, skin.width() - 1, skin.height() - 1));
    QVERIFY(cut < skin.width() * skin.height() / 20);
}

void TestArtwork::skinLeavesEveryControlOnOpaquePixels_data()
{
    QTest::addColumn<QRect>("place");
    QTest::newRow("list") << QRect(21, 56, 222, 144);
    QTest::newRow("close") << QRect(232, 16, 16, 16);
    QTest::newRow("minimize") << QRect(212, 16, 16, 16);
    QTest::newRow("down") << QRect(5, 239, 27, 27);
    QTest::newRow("up") << QRect(33, 239, 27, 27);
    QTest::newRow("menu") << QRect(61, 239, 27, 27);
    QTest::newRow("play") << QRect(89, 239, 86, 27);
    QTest::newRow("add") << QRect(176, 239, 27, 27);
    QTest::newRow("remove") << QRect(204, 239, 27, 27);
    QTest::newRow("edit") << QRect(232, 239, 27, 27);
    QTest::newRow("info panel") << QRect(199, 210, 22, 22);
    QTest::newRow("refresh all") << QRect(223, 210, 22, 22);
    QTest::newRow("status labels") << QRect(18, 213, 170, 14);
}

void TestArtwork::skinLeavesEveryControlOnOpaquePixels()
{
    QFETCH(QRect, place);
    const QImage skin = Render(kSkin);
    for (int y = place.top(); y <= place.bottom(); ++y)
        for (int x = place.left(); x <= place.right(); ++x)
            QVERIFY2(!IsKey(skin, x, y), qPrintable(QStringLiteral("%1,%2").arg(x).arg(y)));
}

void TestArtwork::backgroundsUnderTextArePanelColoured_data()
{
    QTest::addColumn<QString>("picture");
    QTest::addColumn<QRect>("area");
    QTest::newRow("skin: list") << kSkin << QRect(21, 56, 222, 144);
    QTest::newRow("skin: status strip") << kSkin << QRect(15, 210, 179, 22);
    QTest::newRow("panel: pages") << kSkinFolder + "InfoPanel_back.svg" << QRect(2, 0, 254, 94);
    QTest::newRow("panel: page label") << kSkinFolder + "InfoPanel_back.svg" << QRect(2, 96, 140, 20);
}

void TestArtwork::backgroundsUnderTextArePanelColoured()
{
    QFETCH(QString, picture);
    QFETCH(QRect, area);
    for (int scale : {1, kHiDpi}) {
        const QImage image = Render(picture, scale);
        const QRect scaled(area.topLeft() * scale, area.size() * scale);
        for (int y = scaled.top(); y <= scaled.bottom(); ++y)
            for (int x = scaled.left(); x <= scaled.right(); ++x)
                QVERIFY2(image.pixel(x, y) == kPanelColour,
                         qPrintable(QStringLiteral("scale %1: %2,%3").arg(scale).arg(x).arg(y)));
    }
}

void TestArtwork::listFrameClosesOnTheListOnEverySide()
{
    // A column of the skin between the list and its frame made the selection bar look short of the edge.
    const QRect list(21, 56, 222, 144);
    const QRgb frame = qRgb(0x11, 0x11, 0x11);
    const QImage skin = Render(kSkin);
    for (int y = list.top(); y <= list.bottom(); ++y) {
        QVERIFY2(skin.pixel(list.left() - 1, y) == frame, qPrintable(QStringLiteral("left, %1").arg(y)));
        QVERIFY2(skin.pixel(list.right() + 1, y) == frame, qPrintable(QStringLiteral("right, %1").arg(y)));
    }
    for (int x = list.left(); x <= list.right(); ++x) {
        QVERIFY2(skin.pixel(x, list.top() - 1) == frame, qPrintable(QStringLiteral("top, %1").arg(x)));
        QVERIFY2(skin.pixel(x, list.bottom() + 1) == frame, qPrintable(QStringLiteral("bottom, %1").arg(x)));
    }
}

void TestArtwork::picturesDrawnAsBackgroundsAreOpaque()
{
    // These are painted onto panels or under other controls; a transparent pixel would show whatever was there.
    const QStringList prefixes = {"Ball",          "ScrollBar", "Selection", "InfoPanel_back",
                                  "InfoSeparator", "InfoTab",   "Prev",      "Next"};
    int checked = 0;
    for (const QString& name : QDir(kSkinFolder).entryList({QStringLiteral("*.svg")}, QDir::Files)) {
        if (std::none_of(prefixes.begin(), prefixes.end(), [&](const QString& p) { return name.startsWith(p); }))
            continue;
        for (int scale : {1, kHiDpi})
            QVERIFY2(FullyOpaque(Render(kSkinFolder + name, scale)), qPrintable(name));
        ++checked;
    }
    QVERIFY(checked > prefixes.size());
}

void TestArtwork::ballsMatchTheBackgroundTheyAreDrawnOn()
{
    for (int scale : {1, kHiDpi}) {
        const QImage bar = Render(kSkinFolder + "Selection.svg", scale);
        for (const char* kind : {"NA", "Offline", "Online"}) {
            const QImage plain = Render(kSkinFolder + "Ball" + kind + ".svg", scale);
            const QImage selected = Render(kSkinFolder + "Ball" + kind + "Sel.svg", scale);
            const int left = (kSelectionWidth - kBallInset) * scale;
            for (int y = 0; y < selected.height(); ++y) {
                // The ball's corners are background: left column, both ends of every row it does not cover.
                QCOMPARE(selected.pixel(0, y), bar.pixel(left, kBallTop * scale + y));
                QCOMPARE(plain.pixel(0, y), kPanelColour);
            }
        }
    }
}

void TestArtwork::stateBallsDifferInShapeNotOnlyInColour_data()
{
    QTest::addColumn<QStringList>("pictures");
    const QString tray = QStringLiteral(":/artwork/");
    QTest::newRow("list") << QStringList{kSkinFolder + "BallNA.svg", kSkinFolder + "BallOffline.svg",
                                         kSkinFolder + "BallOnline.svg"};
    QTest::newRow("list, selected") << QStringList{kSkinFolder + "BallNASel.svg", kSkinFolder + "BallOfflineSel.svg",
                                                   kSkinFolder + "BallOnlineSel.svg"};
    QTest::newRow("notification area") << QStringList{tray + "tray_checking.svg", tray + "tray_offline.svg",
                                                      tray + "tray_online.svg"};
}

void TestArtwork::stateBallsDifferInShapeNotOnlyInColour()
{
    // A red and a green gem look alike to many people and on a grey screen: each state carries a mark of
    // its own. Gems that differ only in colour are alike above 0.95; the marks bring it below 0.5.
    constexpr double kMostAlike = 0.7;
    QFETCH(QStringList, pictures);
    for (int scale : {1, kHiDpi})
        for (int i = 0; i < pictures.size(); ++i)
            for (int j = i + 1; j < pictures.size(); ++j) {
                const double likeness = Likeness(GemInGrey(pictures[i], scale), GemInGrey(pictures[j], scale));
                QVERIFY2(likeness < kMostAlike, qPrintable(QStringLiteral("scale %1: %2 and %3 alike by %4")
                                                               .arg(scale)
                                                               .arg(pictures[i], pictures[j])
                                                               .arg(likeness)));
            }
}

QTEST_MAIN(TestArtwork)
#include "test_artwork.moc"
