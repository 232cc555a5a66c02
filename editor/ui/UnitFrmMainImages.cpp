#include "UnitFrmMainImages.h"

#include <QPainter>
#include <QPainterPath>

#include <array>

namespace {

void DrawFolder(QPainter& p, bool open) {
    const QColor edge(0x9a, 0x6b, 0x12);
    p.setPen(QPen(edge, 1));
    p.setBrush(QColor(0xf0, 0xc0, 0x50));
    QPainterPath back;
    back.moveTo(1.5, 3.5);
    back.lineTo(6.5, 3.5);
    back.lineTo(8.0, 5.0);
    back.lineTo(14.5, 5.0);
    back.lineTo(14.5, 13.5);
    back.lineTo(1.5, 13.5);
    back.closeSubpath();
    p.drawPath(back);
    if (open) {
        p.setBrush(QColor(0xfb, 0xdc, 0x82));
        QPainterPath front;
        front.moveTo(3.5, 7.5);
        front.lineTo(15.5, 7.5);
        front.lineTo(13.5, 13.5);
        front.lineTo(1.5, 13.5);
        front.closeSubpath();
        p.drawPath(front);
    } else {
        p.setBrush(QColor(0xfb, 0xd2, 0x6a));
        p.drawRect(QRectF(1.5, 6.5, 13, 7));
    }
}

void DrawFeed(QPainter& p, bool selected) {
    const QColor fill = selected ? QColor(0xff, 0x7a, 0x00) : QColor(0xe8, 0x8a, 0x2e);
    p.setPen(QPen(fill.darker(140), 1));
    p.setBrush(fill);
    p.drawRoundedRect(QRectF(1.5, 1.5, 13, 13), 3, 3);
    // The familiar feed waves: a dot and two arcs.
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawEllipse(QRectF(3.5, 10.0, 2.6, 2.6));
    QPen wave(Qt::white, 1.6);
    wave.setCapStyle(Qt::RoundCap);
    p.setPen(wave);
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(-1.0, 4.0, 10.5, 10.5), 0 * 16, 90 * 16);
    p.drawArc(QRectF(-5.0, 0.0, 18.5, 18.5), 0 * 16, 90 * 16);
    if (selected) {
        p.setPen(QPen(QColor(0x30, 0x60, 0xc0), 1));
        p.drawRoundedRect(QRectF(0.5, 0.5, 15, 15), 3, 3);
    }
}

QPixmap Draw(int index) {
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    switch (index) {
        case 0: DrawFolder(p, false); break;
        case 2: DrawFolder(p, true); break;
        case 3: DrawFeed(p, true); break;
        default: DrawFeed(p, false); break;
    }
    return pixmap;
}

}  // namespace

QPixmap TreeImage(int index) {
    // Drawn once, on first use (a QApplication must exist by then), and never changed.
    static const std::array<QPixmap, 4> images = {Draw(0), Draw(1), Draw(2), Draw(3)};
    if (index < 0 || index > 3) index = 1;
    return images[static_cast<size_t>(index)];
}

QIcon AppIcon() {
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.drawPixmap(QRect(0, 6, 24, 24), TreeImage(0));
    p.drawPixmap(QRect(12, 0, 20, 20), TreeImage(1));
    p.end();
    return QIcon(pixmap);
}
