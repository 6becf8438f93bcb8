// Shows a picture as people with the common kinds of colour blindness and a grey screen see it, so a
// look that depends on colour alone shows up: `korvan_colourvision INPUT.png OUTPUT.png [ZOOM [X Y W H]]`
// writes the original, deuteranopia, protanopia, tritanopia and greyscale side by side, each ZOOM times
// larger with whole pixels (so the pixels of a small icon can be judged), of the whole picture or of the
// rectangle X, Y, W × H in its pixels.
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

using TMatrix = std::array<std::array<double, 3>, 3>;

// Machado, Oliveira and Fernandes (2009), full severity; they act on linear RGB.
constexpr TMatrix kDeuteranopia{
    {{0.367322, 0.860646, -0.227968}, {0.280085, 0.672501, 0.047413}, {-0.011820, 0.042940, 0.968881}}};
constexpr TMatrix kProtanopia{
    {{0.152286, 1.052583, -0.204868}, {0.114503, 0.786281, 0.099216}, {-0.003882, -0.048116, 1.051998}}};
constexpr TMatrix kTritanopia{
    {{1.255528, -0.076749, -0.178779}, {-0.078411, 0.930809, 0.147602}, {0.004733, 0.691367, 0.303900}}};
// Relative luminance of linear sRGB (ITU-R BT.709), as one row repeated.
constexpr TMatrix kGrey{{{0.2126, 0.7152, 0.0722}, {0.2126, 0.7152, 0.0722}, {0.2126, 0.7152, 0.0722}}};

constexpr int kGap = 8;
constexpr int kLabelHeight = 18;
constexpr int kMaxZoom = 32;
const QColor kSheet(0x30, 0x30, 0x30);

double ToLinear(int value)
{
    const double c = value / 255.0;
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

int FromLinear(double c)
{
    c = std::clamp(c, 0.0, 1.0);
    const double s = c <= 0.0031308 ? c * 12.92 : 1.055 * std::pow(c, 1.0 / 2.4) - 0.055;
    return static_cast<int>(std::lround(s * 255.0));
}

QImage Simulate(const QImage& source, const TMatrix& m)
{
    QImage out = source.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < out.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x) {
            const QRgb p = line[x];
            const double r = ToLinear(qRed(p)), g = ToLinear(qGreen(p)), b = ToLinear(qBlue(p));
            line[x] = qRgba(FromLinear(m[0][0] * r + m[0][1] * g + m[0][2] * b),
                            FromLinear(m[1][0] * r + m[1][1] * g + m[1][2] * b),
                            FromLinear(m[2][0] * r + m[2][1] * g + m[2][2] * b), qAlpha(p));
        }
    }
    return out;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s INPUT.png OUTPUT.png [ZOOM [X Y W H]]\n", argv[0]);
        return 2;
    }
    QImage source(QString::fromLocal8Bit(argv[1]));
    if (source.isNull()) {
        std::fprintf(stderr, "cannot read %s\n", argv[1]);
        return 1;
    }
    const int zoom = argc > 3 ? std::clamp(std::atoi(argv[3]), 1, kMaxZoom) : 1;
    source.setDevicePixelRatio(1);
    source = source.convertToFormat(QImage::Format_ARGB32);
    if (argc > 7) {
        const QRect part = QRect(std::atoi(argv[4]), std::atoi(argv[5]), std::atoi(argv[6]), std::atoi(argv[7]))
                               .intersected(source.rect());
        if (part.isEmpty()) {
            std::fprintf(stderr, "the rectangle lies outside the picture\n");
            return 2;
        }
        source = source.copy(part);
    }
    if (zoom > 1)
        source = source.scaled(source.size() * zoom, Qt::IgnoreAspectRatio, Qt::FastTransformation);

    const struct
    {
        const char* label;
        QImage picture;
    } panels[] = {{"as drawn", source},
                  {"deuteranopia", Simulate(source, kDeuteranopia)},
                  {"protanopia", Simulate(source, kProtanopia)},
                  {"tritanopia", Simulate(source, kTritanopia)},
                  {"greyscale", Simulate(source, kGrey)}};
    const int count = static_cast<int>(std::size(panels));
    QImage sheet(count * (source.width() + kGap) + kGap, source.height() + kLabelHeight + 2 * kGap,
                 QImage::Format_ARGB32);
    sheet.fill(kSheet);
    QPainter painter(&sheet);
    painter.setPen(Qt::white);
    for (int i = 0; i < count; ++i) {
        const int left = kGap + i * (source.width() + kGap);
        painter.drawText(QRect(left, kGap / 2, source.width(), kLabelHeight), Qt::AlignLeft | Qt::AlignVCenter,
                         QString::fromLatin1(panels[i].label));
        painter.drawImage(QPoint(left, kGap + kLabelHeight), panels[i].picture);
    }
    painter.end();
    if (!sheet.save(QString::fromLocal8Bit(argv[2]))) {
        std::fprintf(stderr, "cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
