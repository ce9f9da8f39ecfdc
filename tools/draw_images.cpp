// Draws the application's own icon and header logo. Run it to make them again:
//   QT_QPA_PLATFORM=offscreen build/tools/draw_images resources
// It writes AppIcon.png (256 × 256) and toplogo.png (420 × 88, shown at 210 × 44).
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

// The mark: a page whose faded lines carry two red outlines, the way a result page looks.
void drawMark(QPainter& p, const QRectF& box) {
    const double u = box.width() / 256.0;
    const auto at = [&](double x, double y, double w, double h) { return QRectF(box.x() + x * u, box.y() + y * u, w * u, h * u); };
    QPainterPath tile;
    tile.addRoundedRect(at(8, 8, 240, 240), 48 * u, 48 * u);
    p.fillPath(tile, TILE);

    QPainterPath page;
    page.addRoundedRect(at(52, 30, 152, 196), 10 * u, 10 * u);
    p.fillPath(page, PAPER);
    p.setPen(QPen(QColor(0xc9, 0xd1, 0xd9), 2 * u));
    p.drawPath(page);

    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xcf, 0xd6, 0xdd));
    for (int i = 0; i < 7; ++i) {
        const double width = (i % 3 == 2) ? 76 : 112;
        p.drawRoundedRect(at(72, 58 + i * 22, width, 9), 4 * u, 4 * u);
    }
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(RED, 7 * u, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    p.drawRect(at(64, 72, 96, 36));
    p.drawRect(at(120, 158, 68, 36));
}

bool drawIcon(const QString& path) {
    QImage image(256, 256, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    drawMark(p, QRectF(0, 0, 256, 256));
    p.end();
    return image.save(path);
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
    return drawIcon(folder + QStringLiteral("/AppIcon.png")) && drawLogo(folder + QStringLiteral("/toplogo.png")) ? 0 : 1;
}
