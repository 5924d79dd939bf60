// Draws icon 128 of the program at the sizes the window system asks for: a resolver disc
// with its slotted rim, rotor and read-out mark, and a network badge, each size drawn
// afresh so that the small ones stay sharp. Run by the build: DrawIcon <output folder>.
#include <QColor>
#include <QDir>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QString>
#include <QtMath>

#include <array>
#include <cstdio>

namespace {

// The sizes of the program's own window icon, and the others that desktop menus and panels
// look up in the icon theme.
constexpr std::array kSizes{16, 22, 24, 32, 48, 64, 128, 256};

void drawDisc(QPainter& p, double size) {
    const QPointF centre(size * 0.46, size * 0.46);
    const double radius = size * 0.42;

    QRadialGradient steel(centre - QPointF(radius * 0.3, radius * 0.3), radius * 1.4);
    steel.setColorAt(0.0, QColor(0x9f, 0xc3, 0xe0));
    steel.setColorAt(1.0, QColor(0x1d, 0x4e, 0x7a));
    p.setPen(QPen(QColor(0x10, 0x2a, 0x44), qMax(1.0, size / 32.0)));
    p.setBrush(steel);
    p.drawEllipse(centre, radius, radius);

    // Slots of the rim: fewer on the small sizes, where they would blur into a ring.
    const int rimSlots = size >= 48 ? 24 : 8;
    p.setPen(QPen(QColor(0xf2, 0xf6, 0xfa), qMax(1.0, size / 48.0), Qt::SolidLine, Qt::FlatCap));
    for (int i = 0; i < rimSlots; ++i) {
        const double angle = 2.0 * M_PI * i / rimSlots;
        const QPointF direction(qCos(angle), qSin(angle));
        p.drawLine(centre + direction * radius * 0.78, centre + direction * radius * 0.94);
    }

    // Rotor: a hub and a pointer at the read-out angle.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xf2, 0xf6, 0xfa));
    p.drawEllipse(centre, radius * 0.18, radius * 0.18);
    const double pointerAngle = -M_PI / 4.0;
    const QPointF tip = centre + QPointF(qCos(pointerAngle), qSin(pointerAngle)) * radius * 0.7;
    p.setPen(QPen(QColor(0xff, 0xb3, 0x1a), qMax(1.5, size / 14.0), Qt::SolidLine, Qt::RoundCap));
    p.drawLine(centre, tip);
}

void drawNetworkBadge(QPainter& p, double size) {
    const QRectF badge(size * 0.56, size * 0.56, size * 0.42, size * 0.42);
    p.setPen(QPen(QColor(0x0d, 0x4d, 0x1f), qMax(1.0, size / 40.0)));
    p.setBrush(QColor(0x2f, 0xa8, 0x4f));
    p.drawRoundedRect(badge, size * 0.08, size * 0.08);

    // Three linked nodes: the encoder on the wire.
    const QPointF top(badge.center().x(), badge.top() + badge.height() * 0.28);
    const QPointF left(badge.left() + badge.width() * 0.27, badge.bottom() - badge.height() * 0.27);
    const QPointF right(badge.right() - badge.width() * 0.27,
                        badge.bottom() - badge.height() * 0.27);
    p.setPen(QPen(Qt::white, qMax(1.0, size / 28.0), Qt::SolidLine, Qt::RoundCap));
    p.drawLine(top, left);
    p.drawLine(top, right);
    p.drawLine(left, right);
    if (size >= 32) {
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::white);
        const double node = size * 0.045;
        for (const QPointF& point : {top, left, right})
            p.drawEllipse(point, node, node);
    }
}

QImage drawIcon(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    drawDisc(painter, size);
    drawNetworkBadge(painter, size);
    painter.end();
    return image;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: DrawIcon <output folder>\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    if (!QDir().mkpath(folder)) {
        std::fprintf(stderr, "cannot create %s\n", argv[1]);
        return 1;
    }
    for (int size : kSizes) {
        const QString path = QStringLiteral("%1/icon128_%2.png").arg(folder).arg(size);
        if (!drawIcon(size).save(path, "PNG")) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    return 0;
}
