#include "frontend/icons/icons.h"

#include "frontend/schedule/schedule_state.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <cmath>

namespace {

// Everything is drawn on a 16-unit grid and scaled: lines one unit wide stay one pixel at 16.
struct Palette {
    QColor body, edge;
};

const Palette kNormal{QColor(0xe9, 0xf1, 0xfc), QColor(0x1d, 0x4f, 0x91)};
const Palette kNewMail{QColor(0xff, 0xd3, 0x3d), QColor(0x6b, 0x45, 0x00)};
const Palette kMuted{QColor(0xe4, 0xe4, 0xe4), QColor(0x6e, 0x6e, 0x6e)};

const QColor kRed(0xd3, 0x2f, 0x2f);
const QColor kGreen(0x2e, 0x8b, 0x3e);
const QColor kOrange(0xe0, 0x6c, 0x00);
const QColor kPurple(0x5b, 0x3c, 0xb0);
const QColor kGray(0x55, 0x55, 0x55);

enum class Badge { None, Failure, Pause, Connecting, Sending, Checking, Dot };

void drawEnvelope(QPainter& p, const Palette& c, bool open, bool small) {
    QRectF body = small ? QRectF(0.5, 4.5, 12, 8.5) : QRectF(0.5, 3.5, 15, 10);
    p.setPen(QPen(c.edge, 1.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(c.body);
    if (open) {
        QPainterPath flap;
        flap.moveTo(body.left(), body.top() + 1.5);
        flap.lineTo(body.center().x(), body.top() - 3);
        flap.lineTo(body.right(), body.top() + 1.5);
        p.drawPath(flap);
        p.drawRect(body.adjusted(0, 1.5, 0, 0));
        p.drawLine(QPointF(body.left(), body.top() + 1.5), QPointF(body.center().x(), body.bottom() - 3));
        p.drawLine(QPointF(body.right(), body.top() + 1.5), QPointF(body.center().x(), body.bottom() - 3));
        return;
    }
    p.drawRect(body);
    QPainterPath flap;
    flap.moveTo(body.topLeft());
    flap.lineTo(body.center().x(), body.top() + body.height() * 0.55);
    flap.lineTo(body.topRight());
    p.setBrush(Qt::NoBrush);
    p.drawPath(flap);
}

// A round badge in the lower right corner carrying the state or the animation's phase.
void drawBadge(QPainter& p, Badge badge, int step) {
    if (badge == Badge::None) return;
    const QPointF centre(11.5, 11.5);
    const double r = 4.3;
    QColor fill = badge == Badge::Failure      ? kRed
                  : badge == Badge::Pause      ? kGray
                  : badge == Badge::Connecting ? kGreen
                  : badge == Badge::Sending    ? kOrange
                  : badge == Badge::Checking   ? kPurple
                                               : kRed;
    p.setPen(QPen(Qt::white, 1.0));
    p.setBrush(fill);
    p.drawEllipse(centre, r, r);
    QPen glyph(Qt::white, 1.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(glyph);
    p.setBrush(Qt::NoBrush);
    switch (badge) {
    case Badge::Failure:
        p.drawLine(centre + QPointF(-1.7, -1.7), centre + QPointF(1.7, 1.7));
        p.drawLine(centre + QPointF(-1.7, 1.7), centre + QPointF(1.7, -1.7));
        break;
    case Badge::Pause:
        p.drawLine(centre + QPointF(-1.1, -1.8), centre + QPointF(-1.1, 1.8));
        p.drawLine(centre + QPointF(1.1, -1.8), centre + QPointF(1.1, 1.8));
        break;
    case Badge::Connecting: {
        // A dot running round the badge, one sixth of a turn a frame.
        double a = (step * 60.0 - 90.0) * M_PI / 180.0;
        p.setBrush(Qt::white);
        p.setPen(Qt::NoPen);
        p.drawEllipse(centre + QPointF(std::cos(a) * 2.1, std::sin(a) * 2.1), 1.3, 1.3);
        break;
    }
    case Badge::Sending:
    case Badge::Checking: {
        // An arrow sliding up (sending) or down (checking) through the badge.
        double dir = badge == Badge::Sending ? -1.0 : 1.0;
        double shift = ((step % 3) - 1) * 0.9 * dir;
        QPointF tip = centre + QPointF(0, dir * 2.3 + shift);
        QPointF tail = centre + QPointF(0, -dir * 2.3 + shift);
        p.save();
        QPainterPath clip;
        clip.addEllipse(centre, r - 0.4, r - 0.4);
        p.setClipPath(clip);
        p.drawLine(tail, tip);
        p.drawLine(tip, tip + QPointF(-1.6, -dir * 1.6));
        p.drawLine(tip, tip + QPointF(1.6, -dir * 1.6));
        p.restore();
        break;
    }
    case Badge::Dot:
    case Badge::None: break;
    }
}

void drawFolder(QPainter& p, const QColor& fill, const QColor& edge) {
    p.setPen(QPen(edge, 1.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(fill);
    QPainterPath path;
    path.moveTo(0.5, 3.5);
    path.lineTo(6, 3.5);
    path.lineTo(7.5, 5);
    path.lineTo(15.5, 5);
    path.lineTo(15.5, 13.5);
    path.lineTo(0.5, 13.5);
    path.closeSubpath();
    p.drawPath(path);
}

using Painter = void (*)(QPainter&, int);

QIcon render(Painter paint, int arg) {
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48, 64, 128}) {
        QPixmap pm(size, size);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(size / 16.0, size / 16.0);
        paint(p, arg);
        p.end();
        icon.addPixmap(pm);
    }
    return icon;
}

void paintTrayFrame(QPainter& p, int index) {
    if (index == kTrayNewMail) {
        drawEnvelope(p, kNewMail, false, false);
        p.setPen(QPen(Qt::white, 1.0));
        p.setBrush(kRed);
        p.drawEllipse(QPointF(12.5, 3.5), 3.0, 3.0);
        return;
    }
    if (index == kTraySuspended) {
        drawEnvelope(p, kMuted, false, true);
        drawBadge(p, Badge::Pause, 0);
        return;
    }
    drawEnvelope(p, kNormal, false, index != kTrayActive);
    if (index == kTrayFailed) drawBadge(p, Badge::Failure, 0);
    else if (index >= kTrayChecking) drawBadge(p, Badge::Checking, index - kTrayChecking);
    else if (index >= kTraySending) drawBadge(p, Badge::Sending, index - kTraySending);
    else if (index >= kTrayConnecting) drawBadge(p, Badge::Connecting, index - kTrayConnecting);
}

void paintOther(QPainter& p, int id) {
    switch (static_cast<ProgramIcon>(id)) {
    case ProgramIcon::UnreadItem: drawEnvelope(p, kNewMail, false, false); break;
    case ProgramIcon::ReadItem: drawEnvelope(p, kMuted, true, false); break;
    case ProgramIcon::IncomingRoot:  // the mail store
        drawFolder(p, kNormal.body, kNormal.edge);
        break;
    case ProgramIcon::AccountMailbox: drawFolder(p, QColor(0xf4, 0xc4, 0x5a), QColor(0x7a, 0x55, 0x00)); break;
    case ProgramIcon::OutgoingRoot:  // the queue
        drawFolder(p, QColor(0xf4, 0xc4, 0x5a), QColor(0x7a, 0x55, 0x00));
        drawBadge(p, Badge::Sending, 1);
        break;
    case ProgramIcon::Program:
        drawEnvelope(p, kNormal, false, false);
        drawBadge(p, Badge::Connecting, 1);
        break;
    }
}

void paintPlay(QPainter& p, int) {
    const QColor blue(0x2f, 0x5d, 0x9e);
    QPainterPath speaker;
    speaker.moveTo(2, 6);
    speaker.lineTo(5, 6);
    speaker.lineTo(9, 2.5);
    speaker.lineTo(9, 13.5);
    speaker.lineTo(5, 10);
    speaker.lineTo(2, 10);
    speaker.closeSubpath();
    p.fillPath(speaker, blue);
    p.setPen(QPen(blue, 1.3, Qt::SolidLine, Qt::RoundCap));
    p.drawArc(QRectF(7, 5, 5, 6), -50 * 16, 100 * 16);
    p.drawArc(QRectF(7, 2.5, 8, 11), -50 * 16, 100 * 16);
}

}  // namespace

QIcon playIcon() {
    return render(paintPlay, 0);
}

QIcon trayFrameIcon(int index) {
    if (index < 0 || index >= kTrayFrameCount) index = kTrayActive;
    return render(paintTrayFrame, index);
}

QIcon programIcon(ProgramIcon icon) {
    return render(paintOther, static_cast<int>(icon));
}
