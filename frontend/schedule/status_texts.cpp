#include "frontend/schedule/status_texts.h"

#include "frontend/mail/row_cells.h"
#include "frontend/schedule/schedule_state.h"
#include "frontend/schedule/scheduler.h"

#include <QCoreApplication>
#include <QDateTime>

// The texts' one context.
class Tray {
    Q_DECLARE_TR_FUNCTIONS(Tray)
};

std::string trayToolTip(const ScheduleState& state, const TipFacts& facts, const QLocale& locale) {
    QString says;
    if (state.cycling) {
        says = Tray::tr("checking mail\u2026");
    } else if (state.cycleFailed) {
        says = facts.failedStep.empty() ? Tray::tr("last cycle failed")
                                        : Tray::tr("last cycle failed: %1").arg(Tray::tr(facts.failedStep.c_str()));
    } else if (!state.active) {
        says = Tray::tr("suspended");
    } else {
        QStringList parts;
        if (facts.unread > 0) parts << Tray::tr("%1 unread").arg(facts.unread);
        if (facts.lastCheck != 0) {
            const QTime at = QDateTime::fromSecsSinceEpoch(static_cast<qint64>(facts.lastCheck)).time();
            parts << Tray::tr("last check %1").arg(views::hoursAndMinutes(locale, at));
        }
        says = parts.join(QStringLiteral(", "));
    }
    if (says.isEmpty()) return kTrayTipName;
    return views::cutUtf8(kTrayTipName + (": " + says.toStdString()), kTrayTipMax);
}

QString statusBarText(const std::string& stored, const std::string& failedStep) {
    // The stored status stays in the one language both programs' logs use, and as other
    // readers of the setting know it; the dial-up ones are said in words a person knows.
    QString status;
    if (stored == kStatusDialRetry) status = Tray::tr("The dial-up connection failed; trying again after a pause");
    else if (stored == kStatusDialExhausted) status = Tray::tr("The dial-up connection failed; no retries left");
    else status = QCoreApplication::translate("Status", stored.c_str());
    if (stored != kStatusCycleFailed || failedStep.empty()) return status;
    return Tray::tr("%1; failed step: %2").arg(status, Tray::tr(failedStep.c_str()));
}

std::string cycleStepName(int animationFrame) {
    if (animationFrame >= kTrayChecking && animationFrame < kTrayFrameCount) return "checking mail";
    if (animationFrame >= kTraySending && animationFrame < kTrayChecking) return "sending mail";
    if (animationFrame >= kTrayConnecting && animationFrame < kTraySending) return "connecting";
    return {};
}
