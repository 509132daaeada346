#include "frontend/desktop/notification_texts.h"

#include <QCoreApplication>
#include <QStringList>

#include <algorithm>

// The texts' one context.
class Notifications {
    Q_DECLARE_TR_FUNCTIONS(Notifications)
};

namespace notify {

namespace {

QString fromUtf8(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

constexpr qsizetype kReplyShown = 600;

QString orDash(const std::string& s) {
    return s.empty() ? QStringLiteral("-") : fromUtf8(s);
}

}  // namespace

QString senderName(const std::string& from) {
    QString value = fromUtf8(from).trimmed();
    qsizetype angle = value.indexOf(QLatin1Char('<'));
    if (angle < 0) return value;
    QString name = value.left(angle).trimmed();
    if (name.size() >= 2 && name.startsWith(QLatin1Char('"')) && name.endsWith(QLatin1Char('"')))
        name = name.mid(1, name.size() - 2).trimmed();
    if (!name.isEmpty()) return name;
    qsizetype close = value.indexOf(QLatin1Char('>'), angle);
    return value.mid(angle + 1, close < 0 ? -1 : close - angle - 1).trimmed();
}

QString peopleNames(const std::string& addresses) {
    // Commas inside quotes or angle brackets belong to a name or an address.
    QStringList names;
    std::string one;
    bool quoted = false;
    int angle = 0;
    auto flush = [&] {
        QString name = senderName(one);
        if (!name.isEmpty()) names << name;
        one.clear();
    };
    for (char c : addresses) {
        if (c == '"') quoted = !quoted;
        else if (c == '<' && !quoted) ++angle;
        else if (c == '>' && !quoted && angle > 0) --angle;
        if (c == ',' && !quoted && angle == 0) flush();
        else one += c;
    }
    flush();
    return names.join(QStringLiteral(", "));
}

Text newMailText(const std::vector<Arrival>& came) {
    std::vector<Arrival> arrivals(came.rbegin(), came.rend());
    std::stable_sort(arrivals.begin(), arrivals.end(),
                     [](const Arrival& a, const Arrival& b) { return a.when > b.when; });
    Text t;
    t.summary = arrivals.size() == 1
                    ? Notifications::tr("1 new message")
                    : Notifications::tr("%1 new messages").arg(static_cast<qulonglong>(arrivals.size()));
    QStringList lines;
    for (std::size_t i = 0; i < arrivals.size() && i < kArrivalsNamed; ++i)
        lines << Notifications::tr("%1: %2").arg(senderName(arrivals[i].from), orDash(arrivals[i].subject));
    if (arrivals.size() > kArrivalsNamed)
        lines << Notifications::tr("and %1 more").arg(static_cast<qulonglong>(arrivals.size() - kArrivalsNamed));
    t.body = lines.join(QLatin1Char('\n'));
    return t;
}

Text deliveryFailureText(const std::string& to, const std::string& subject, const std::string& reply) {
    Text t;
    t.summary = Notifications::tr("Mail could not be delivered");
    QStringList lines;
    QString names = peopleNames(to);
    lines << Notifications::tr("To: %1").arg(names.isEmpty() ? QStringLiteral("-") : names)
          << Notifications::tr("Subject: %1").arg(orDash(subject));
    QString answer = fromUtf8(reply).trimmed();
    answer.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    // A provider may answer at length; the notice shows the start, the dialog all of it.
    if (answer.size() > kReplyShown) answer = answer.left(kReplyShown) + QChar(0x2026);
    lines << (answer.isEmpty() ? Notifications::tr("The provider gave no reason.")
                               : Notifications::tr("The provider replied: %1").arg(answer));
    t.body = lines.join(QLatin1Char('\n'));
    return t;
}

Text cycleFailureText(const std::string& step, const std::string& logPath) {
    Text t;
    t.summary = step.empty() ? Notifications::tr("The last mail cycle failed")
                             : Notifications::tr("The last mail cycle failed: %1").arg(fromUtf8(step));
    t.body = Notifications::tr("The log %1 says why.").arg(fromUtf8(logPath));
    return t;
}

QString markup(const QString& plain) {
    return plain.toHtmlEscaped();
}

QString plainSafe(const QString& plain) {
    QString safe = plain;
    safe.replace(QLatin1Char('<'), QChar(0x2039)).replace(QLatin1Char('>'), QChar(0x203A));
    return safe;
}

}  // namespace notify
