// Draws the application's own icon and header logo. Run it to make them again:
//   QT_QPA_PLATFORM=offscreen build/tools/draw_images resources
// It writes AppIcon.png (256 × 256), toplogo.png (420 × 88, shown at 210 × 44), and the menu's
// icons: icons/tesmira-48.png, -64.png, -128.png and the scalable icons/tesmira.svg.
#include <QFile>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include <cstdio>

namespace {

const QColor INK(0x2b, 0x33, 0x3d);
const QColor RED(0xd7, 0x26, 0x2e);
const QColor PAPER(0xff, 0xff, 0xff);
const QColor TILE(0xe9, 0xee, 0xf3);

// One shape of the mark, in a 256-unit square: a rectangle with round corners, filled,
// outlined, or both.
struct Shape {
    QRectF rect;
    double radius;
    QColor fill, stroke;  // invalid for none
    double strokeWidth;
};

// The mark: a page whose faded lines carry two red outlines, the way a result page looks.
QList<Shape> markShapes() {
    QList<Shape> shapes{{QRectF(8, 8, 240, 240), 48, TILE, {}, 0},
                        {QRectF(52, 30, 152, 196), 10, PAPER, QColor(0xc9, 0xd1, 0xd9), 2}};
    for (int i = 0; i < 7; ++i) {
        const double width = (i % 3 == 2) ? 76 : 112;
        shapes.append({QRectF(72, 58 + i * 22, width, 9), 4, QColor(0xcf, 0xd6, 0xdd), {}, 0});
    }
    shapes.append({QRectF(64, 72, 96, 36), 0, {}, RED, 7});
    shapes.append({QRectF(120, 158, 68, 36), 0, {}, RED, 7});
    return shapes;
}

void drawMark(QPainter& p, const QRectF& box) {
    const double u = box.width() / 256.0;
    for (const Shape& shape : markShapes()) {
        const QRectF r(box.x() + shape.rect.x() * u,
                       box.y() + shape.rect.y() * u,
                       shape.rect.width() * u,
                       shape.rect.height() * u);
        p.setBrush(shape.fill.isValid() ? QBrush(shape.fill) : QBrush(Qt::NoBrush));
        p.setPen(shape.stroke.isValid()
                     ? QPen(shape.stroke, shape.strokeWidth * u, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin)
                     : QPen(Qt::NoPen));
        p.drawRoundedRect(r, shape.radius * u, shape.radius * u);
    }
}

bool drawIcon(const QString& path, int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    drawMark(p, QRectF(0, 0, size, size));
    p.end();
    return image.save(path);
}

// The same shapes as a scalable icon.
bool writeSvgIcon(const QString& path) {
    QString svg = QStringLiteral(
        "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"256\" height=\"256\" viewBox=\"0 0 256 256\">\n");
    for (const Shape& shape : markShapes()) {
        svg += QStringLiteral("  <rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\" rx=\"%5\" fill=\"%6\"")
                   .arg(shape.rect.x())
                   .arg(shape.rect.y())
                   .arg(shape.rect.width())
                   .arg(shape.rect.height())
                   .arg(shape.radius)
                   .arg(shape.fill.isValid() ? shape.fill.name() : QStringLiteral("none"));
        if (shape.stroke.isValid())
            svg += QStringLiteral(" stroke=\"%1\" stroke-width=\"%2\" stroke-linecap=\"square\"")
                       .arg(shape.stroke.name())
                       .arg(shape.strokeWidth);
        svg += QStringLiteral("/>\n");
    }
    svg += QStringLiteral("</svg>\n");
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(svg.toUtf8()) > 0;
}

bool drawLogo(const QString& path) {
    QImage image(420, 88, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    drawMark(p, QRectF(4, 4, 80, 80));
    QFont name(QStringLiteral("Noto Sans CJK JP"));
    name.setPixelSize(44);
    name.setWeight(QFont::Bold);
    p.setFont(name);
    p.setPen(INK);
    p.drawText(QRectF(100, 0, 230, 88), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("てすみら"));
    QFont tag(QStringLiteral("Noto Sans CJK JP"));
    tag.setPixelSize(24);
    p.setFont(tag);
    p.setPen(RED);
    const QRectF badge(334, 28, 76, 34);
    p.drawRoundedRect(badge, 6, 6);
    p.drawText(badge, Qt::AlignCenter, QStringLiteral("検版"));
    p.end();
    return image.save(path);
}

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication application(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: draw_images FOLDER\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    bool drawn = drawIcon(folder + QStringLiteral("/AppIcon.png"), 256) &&
                 drawLogo(folder + QStringLiteral("/toplogo.png")) &&
                 writeSvgIcon(folder + QStringLiteral("/icons/tesmira.svg"));
    // The menu's sizes, each drawn at its own size rather than scaled down.
    for (int size : {48, 64, 128})
        drawn = drawn && drawIcon(folder + QStringLiteral("/icons/tesmira-%1.png").arg(size), size);
    return drawn ? 0 : 1;
}
