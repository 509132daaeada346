#include "frontend/desktop/sign_in_notice.h"

#include <QCoreApplication>

#include <algorithm>

// The texts' one context.
class Notifications {
    Q_DECLARE_TR_FUNCTIONS(Notifications)
};

namespace notify {
namespace {

constexpr char kBefore[] = "MAIL HIGH sign-in for ";
constexpr char kAfter[] = " expired: sign in again";

}  // namespace

std::vector<std::string> expiredSignIns(const std::vector<std::string>& logLines) {
    std::vector<std::string> targets;
    for (const std::string& line : logLines) {
        // "HHMMSS  MAIL HIGH sign-in for home expired: sign in again"; titles hold no line end.
        std::size_t at = line.find(kBefore);
        std::size_t end = line.rfind(kAfter);
        if (at == std::string::npos || end == std::string::npos || end + sizeof kAfter - 1 != line.size()) continue;
        at += sizeof kBefore - 1;
        if (end <= at) continue;
        std::string target = line.substr(at, end - at);
        if (std::find(targets.begin(), targets.end(), target) == targets.end()) targets.push_back(target);
    }
    return targets;
}

Text signInExpiredText(const std::string& target) {
    if (target == "outgoing")
        return {Notifications::tr("Sign in again"),
                Notifications::tr("The provider no longer accepts the sign-in for outgoing mail. Sign in again with "
                                  "Sign in… on the Connection page of Options; the queue waits until then.")};
    return {Notifications::tr("Sign in again"),
            Notifications::tr("The provider no longer accepts the sign-in for the account %1. Sign in again with "
                              "Sign in… on its Account page; its mail waits on the server until then.")
                .arg(QString::fromStdString(target))};
}

}  // namespace notify
