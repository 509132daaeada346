#include "frontend/icons/play_icon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

QIcon playIcon() {
    QIcon icon;
    for (int size : {16, 22, 32}) {
        QPixmap pm(size, size);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        const double s = size / 16.0;
        // A loudspeaker with two sound waves.
        QPainterPath speaker;
        speaker.moveTo(2 * s, 6 * s);
        speaker.lineTo(5 * s, 6 * s);
        speaker.lineTo(9 * s, 2.5 * s);
        speaker.lineTo(9 * s, 13.5 * s);
        speaker.lineTo(5 * s, 10 * s);
        speaker.lineTo(2 * s, 10 * s);
        speaker.closeSubpath();
        p.fillPath(speaker, QColor(0x2f, 0x5d, 0x9e));
        p.setPen(QPen(QColor(0x2f, 0x5d, 0x9e), 1.3 * s, Qt::SolidLine, Qt::RoundCap));
        p.drawArc(QRectF(7 * s, 5 * s, 5 * s, 6 * s), -50 * 16, 100 * 16);
        p.drawArc(QRectF(7 * s, 2.5 * s, 8 * s, 11 * s), -50 * 16, 100 * 16);
        p.end();
        icon.addPixmap(pm);
    }
    return icon;
}
