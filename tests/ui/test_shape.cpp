// The window's shape from its picture: runs of the transparent colour, the colour's choice, the scan
// direction, kept controls; and the picture control that applies it to its window.
#include "ui/imgfrm.h"

#include <QtTest>

namespace {

constexpr QRgb kCut = 0xFFFF00FF;
constexpr QRgb kInk = 0xFF202020;
constexpr QRgb kRed = 0xFFFF0000;

// One string per row; '#' ink, '.' the fuchsia cut-out colour, 'r' red.
QImage Picture(const QStringList& rows)
{
    QImage image(static_cast<int>(rows.first().size()), static_cast<int>(rows.size()), QImage::Format_ARGB32);
    for (int y = 0; y < rows.size(); ++y)
        for (int x = 0; x < rows[y].size(); ++x) {
            const QChar c = rows[y][x];
            image.setPixel(x, y, c == '.' ? kCut : c == 'r' ? kRed : kInk);
        }
    return image;
}

QList<QRect> Runs(const QStringList& rows, bool vertical, QRgb color = kCut)
{
    const std::vector<QRect> runs = TransparentRuns(Picture(rows), color, vertical);
    return QList<QRect>(runs.begin(), runs.end());
}

int Pixels(const QRegion& region)
{
    int count = 0;
    for (const QRect& r : region)
        count += r.width() * r.height();
    return count;
}

} // namespace

class TestShape : public QObject
{
    Q_OBJECT

private slots:
    void runs_data();
    void runs();
    void cornerChoice_data();
    void cornerChoice();
    void lonelyCornerPixelIsCutAway();
    void keptRectanglesStayInTheShape();
    void shapeOfALargePictureIsOneRectanglePerRun();
    void imageFormRefusesAWrongOrSecondOwner();
    void imageFormShapesItsWindowOnlyWhenEnabledAndLoaded();
};

void TestShape::runs_data()
{
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<bool>("vertical");
    QTest::addColumn<QList<QRect>>("expected");
    QTest::newRow("no transparent pixel") << QStringList{"###", "###"} << false << QList<QRect>{};
    QTest::newRow("run stops before the opaque pixel")
        << QStringList{"..#.."} << false << QList<QRect>{QRect(0, 0, 2, 1), QRect(3, 0, 2, 1)};
    QTest::newRow("last pixel of the row is included")
        << QStringList{"#...", "###."} << false << QList<QRect>{QRect(1, 0, 3, 1), QRect(3, 1, 1, 1)};
    QTest::newRow("whole row") << QStringList{"....", "#..#"} << false
                               << QList<QRect>{QRect(0, 0, 4, 1), QRect(1, 1, 2, 1)};
    QTest::newRow("columns") << QStringList{".#", ".#", "#."} << true
                             << QList<QRect>{QRect(0, 0, 1, 2), QRect(1, 2, 1, 1)};
}

void TestShape::runs()
{
    QFETCH(QStringList, rows);
    QFETCH(bool, vertical);
    QTEST(Runs(rows, vertical), "expected");
}

void TestShape::cornerChoice_data()
{
    QTest::addColumn<int>("selection");
    QTest::addColumn<uint>("expected");
    // Corners: top-left cut, top-right red, bottom-left ink, bottom-right cut.
    QTest::newRow("top left") << static_cast<int>(TTransparentColorSelection::csTopLeft) << uint(kCut);
    QTest::newRow("top right") << static_cast<int>(TTransparentColorSelection::csTopRight) << uint(kRed);
    QTest::newRow("bottom left") << static_cast<int>(TTransparentColorSelection::csBottomLeft) << uint(kInk);
    QTest::newRow("bottom right") << static_cast<int>(TTransparentColorSelection::csBottomRight) << uint(kCut);
    QTest::newRow("given colour") << static_cast<int>(TTransparentColorSelection::csColor) << uint(0xFF00FF00);
}

void TestShape::cornerChoice()
{
    QFETCH(int, selection);
    QFETCH(uint, expected);
    const QImage picture = Picture({".#r", "##.", "#.."});
    QCOMPARE(uint(TransparentColorOf(picture, static_cast<TTransparentColorSelection>(selection), 0xFF00FF00)),
             expected);
}

void TestShape::lonelyCornerPixelIsCutAway()
{
    TShapeInput input;
    input.picture = Picture({"r###", "####", "####"});
    input.pictureOrigin = QPoint(5, 7);
    QRegion shape = WindowShape(input);
    QCOMPARE(Pixels(shape), 11);
    QVERIFY(!shape.contains(QPoint(5, 7)));
    QVERIFY(shape.contains(QPoint(6, 7)));
    QVERIFY(shape.contains(QPoint(8, 9)));
    QCOMPARE(shape.boundingRect(), QRect(5, 7, 4, 3));
    // Same picture scanned by columns: the same shape.
    input.verticalScan = true;
    QCOMPARE(WindowShape(input), shape);
}

void TestShape::keptRectanglesStayInTheShape()
{
    TShapeInput input;
    input.picture = Picture({"....", ".##.", "...."});
    // A control over transparent pixels, and a hidden panel below the picture.
    input.keptRects = {QRect(0, 0, 1, 1), QRect(1, 3, 3, 2)};
    const QRegion shape = WindowShape(input);
    QCOMPARE(Pixels(shape), 2 + 1 + 6);
    QVERIFY(shape.contains(QPoint(0, 0)));
    QVERIFY(shape.contains(QPoint(3, 4)));
    QVERIFY(!shape.contains(QPoint(3, 0)));
}

void TestShape::shapeOfALargePictureIsOneRectanglePerRun()
{
    // A round window of the skin's size: many runs, still far fewer rectangles than pixels.
    QImage picture(261, 268, QImage::Format_ARGB32);
    picture.fill(kCut);
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            if ((x - 130) * (x - 130) + (y - 134) * (y - 134) < 120 * 120)
                picture.setPixel(x, y, kInk);
    TShapeInput input;
    input.picture = picture;
    const QRegion shape = WindowShape(input);
    QVERIFY(shape.rectCount() <= picture.height());
    QVERIFY(shape.contains(QPoint(130, 134)));
    QVERIFY(!shape.contains(QPoint(0, 0)));
    QVERIFY(!shape.contains(QPoint(260, 267)));
}

void TestShape::imageFormRefusesAWrongOrSecondOwner()
{
    QWidget window;
    QWidget child(&window);
    std::string error;
    QVERIFY(!TImageForm::Create(&child, &error));
    QCOMPARE(error, std::string("TImageForm: Invalid parent window - must be class TForm."));
    QVERIFY(!TImageForm::Create(nullptr, &error));
    TImageForm* form = TImageForm::Create(&window, &error);
    QVERIFY(form);
    QVERIFY(!form->ShapeEnabled() && !form->MoveForm() && !form->ShowItemsOffBounds() && !form->VerticalScan());
    QCOMPARE(form->TransparentColor(), kDefaultTransparentColor);
    QCOMPARE(form->TransparentColorSelection(), TTransparentColorSelection::csTopLeft);
    QVERIFY(!TImageForm::Create(&window, &error));
    QCOMPARE(error, std::string("TImageForm: Only one instance of TImageForm is allowed."));
}

void TestShape::imageFormShapesItsWindowOnlyWhenEnabledAndLoaded()
{
    QWidget window;
    window.resize(4, 10);
    auto* hiddenPanel = new QWidget(&window);
    hiddenPanel->setGeometry(0, 5, 4, 5);
    hiddenPanel->hide();
    TImageForm* form = TImageForm::Create(&window);
    const QImage picture = Picture({".##.", "####", "####"});
    form->SetPicture(picture, QPixmap::fromImage(picture));
    QCOMPARE(form->size(), QSize(4, 3));
    form->SetShapeEnabled(true);
    QVERIFY(form->AppliedShape().isEmpty()); // not loaded yet
    form->LayoutLoaded();
    QCOMPARE(Pixels(form->AppliedShape()), 10);
    QCOMPARE(window.mask(), form->AppliedShape());
    form->SetShowItemsOffBounds(true);
    QCOMPARE(Pixels(form->AppliedShape()), 10 + 20);
    // Choosing another colour rebuilds; a given colour counts only with its selection.
    form->SetTransparentColor(kInk);
    QCOMPARE(Pixels(form->AppliedShape()), 30);
    form->SetTransparentColorSelection(TTransparentColorSelection::csColor);
    QCOMPARE(Pixels(form->AppliedShape()), 2 + 20);
    form->SetShapeEnabled(false);
    QCOMPARE(form->AppliedShape(), QRegion(0, 0, 4, 10));
    QVERIFY(window.mask().isEmpty());
}

QTEST_MAIN(TestShape)
#include "test_shape.moc"
