// Draws the tray menu and the about box into PNG files for the documentation:
//   tray_screenshots <output directory>
// Run it on a real display (xvfb-run will do). Without a window manager or a tray
// host, the windows are shown plain: the panel strip under the menu and the caption
// strip over the about box are drawn here.
#include "AboutBox.h"
#include "TrayIcon.h"

#include <QApplication>
#include <QIcon>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QTimer>

namespace {

QPixmap TrayMenuPicture(TrayIcon& tray) {
    QMenu& menu = tray.Menu();
    menu.popup(QPoint(40, 40));
    menu.setActiveAction(tray.Action(kCommandEditFeedList));
    QApplication::processEvents();
    const QPixmap menuPicture = menu.grab();
    menu.hide();

    const int panelHeight = 28;
    const int margin = 24;
    const int iconX = margin + 56;
    // The menu opens with its bottom-left corner at the pointer, over the icon.
    const int menuX = iconX + 8;
    QPixmap canvas(menuX + menuPicture.width() + margin, menuPicture.height() + panelHeight + margin);
    canvas.fill(QColor(0xdf, 0xe4, 0xea));
    QPainter p(&canvas);
    const int panelTop = canvas.height() - panelHeight;
    p.fillRect(0, panelTop, canvas.width(), panelHeight, QColor(0x2b, 0x30, 0x38));
    p.setPen(QColor(0xdd, 0xdd, 0xdd));
    p.drawText(QRect(margin, panelTop, 48, panelHeight), Qt::AlignVCenter, QStringLiteral("12:00"));
    p.drawPixmap(iconX, panelTop + (panelHeight - 16) / 2, QuilloIcon().pixmap(16, 16));
    p.drawPixmap(menuX, panelTop - menuPicture.height() + 6, menuPicture);
    return canvas;
}

QPixmap AboutBoxPicture() {
    AboutBox box;
    box.show();
    QApplication::processEvents();
    const QPixmap body = box.grab();
    box.hide();

    const int caption = 24;
    QPixmap canvas(body.width() + 2, body.height() + caption + 1);
    canvas.fill(QColor(0x80, 0x80, 0x80));
    QPainter p(&canvas);
    p.fillRect(1, 1, body.width(), caption - 1, QColor(0xe8, 0xe8, 0xe8));
    p.drawPixmap(6, (caption - 16) / 2, QuilloIcon().pixmap(16, 16));
    p.setPen(Qt::black);
    p.drawText(QRect(28, 0, body.width() - 60, caption), Qt::AlignVCenter, box.windowTitle());
    p.drawText(QRect(body.width() - 24, 0, 20, caption), Qt::AlignCenter, QStringLiteral("×"));
    p.drawPixmap(1, caption, body);
    return canvas;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 2) return 2;
    const QString out = QString::fromLocal8Bit(argv[1]);
    TrayIcon tray;
    bool ok = TrayMenuPicture(tray).save(out + QStringLiteral("/tray-menu.png"));
    ok = AboutBoxPicture().save(out + QStringLiteral("/about-box.png")) && ok;
    return ok ? 0 : 1;
}
