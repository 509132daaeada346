// What the desktop notifications say: summary and body built from decoded header values, no
// D-Bus. Bodies are plain text; markup() turns one into the small markup the notification
// services interpret, so that a subject such as "<b>" is shown as written.
#pragma once

#include <QString>

#include <cstdint>
#include <string>
#include <vector>

namespace notify {

struct Text {
    QString summary;
    QString body;
};

// One new message: its sender and subject, already decoded.
struct Arrival {
    std::string from;
    std::string subject;
    std::int64_t when = 0;  // the message's date, seconds since 1970; 0: none (sorts oldest)
};

// How many new messages a notification names one by one; the rest are counted.
inline constexpr std::size_t kArrivalsNamed = 3;

// The name a person reads in a "From" value: the display name, unquoted, or the address when
// there is none.
QString senderName(const std::string& from);
// The same for every address of a list ("To"), joined by ", ".
QString peopleNames(const std::string& addresses);

// "3 new messages" with a line "sender: subject" for each of the first arrivals (given in the
// order they came), newest first as the mail list sorts them (by date, the last arrived first
// among equal dates), and "and N more" after them.
Text newMailText(const std::vector<Arrival>& arrivals);
// A refused item: recipients and subject, then the provider's reply as it came.
Text deliveryFailureText(const std::string& to, const std::string& subject, const std::string& reply);
// A failed cycle: the step it failed in and the log that says why.
Text cycleFailureText(const std::string& step, const std::string& logPath);

// The body escaped for services that read markup.
QString markup(const QString& plain);
// The body for services that do not announce markup: some strip anything between angle
// brackets all the same, so those become the look-alike quotation marks.
QString plainSafe(const QString& plain);

}  // namespace notify
