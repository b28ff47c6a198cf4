#include "app/deleted_look.h"

#include <QPainter>
#include <QPixmap>

namespace salvex::app {

QColor deleted_colour() {
    return QColor(0xb0, 0x1e, 0x1e); // a dark red, readable on white and on the selection
}

QIcon deleted_icon(const QIcon& base) {
    QIcon marked;
    for (const int side : {16, 32, 48}) {
        QPixmap pixmap = base.pixmap(side, side);
        if (pixmap.isNull()) {
            pixmap = QPixmap(side, side);
            pixmap.fill(Qt::transparent);
        }
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        const qreal mark = side * 0.55;
        const QRectF corner(side - mark, side - mark, mark, mark);
        painter.setPen(Qt::NoPen);
        painter.setBrush(Qt::white);
        painter.drawEllipse(corner);
        QPen pen(deleted_colour(), qMax(1.5, side / 8.0));
        pen.setCapStyle(Qt::RoundCap);
        painter.setPen(pen);
        const QRectF cross = corner.adjusted(mark * 0.25, mark * 0.25, -mark * 0.25, -mark * 0.25);
        painter.drawLine(cross.topLeft(), cross.bottomRight());
        painter.drawLine(cross.topRight(), cross.bottomLeft());
        painter.end();
        marked.addPixmap(pixmap);
    }
    return marked;
}

} // namespace salvex::app
