#include "frontend/mail/mailbox_watch.h"

#include "frontend/mail/folders.h"
#include "config/settings.h"

#include <QDir>
#include <QFileInfo>

namespace views {

MailboxWatch::MailboxWatch(QObject* parent) : QObject(parent) {
    coalesce_.setSingleShot(true);
    coalesce_.setInterval(kCoalesceMs);
    connect(&coalesce_, &QTimer::timeout, this, &MailboxWatch::changed);
    connect(&watcher_, &QFileSystemWatcher::directoryChanged, this, [this] { somethingChanged(); });
}

void MailboxWatch::watch(std::vector<std::string> directories) {
    wanted_ = std::move(directories);
    wanted_.push_back("accounts");
    wanted_.push_back(".");
    if (!watcher_.directories().isEmpty()) watcher_.removePaths(watcher_.directories());
    addExisting();
}

std::vector<std::string> MailboxWatch::mailDirectories() {
    std::vector<std::string> dirs{"outgoing"};
    plat::RegKey accounts;
    if (!config::openAccountsKey(accounts)) return dirs;
    for (int i = 0, n = config::accountCount(accounts); i < n; ++i) {
        std::string box = config::accountString(accounts, i, "destmailbox");
        if (!box.empty()) dirs.push_back(accountDirectory(box));
    }
    return dirs;
}

void MailboxWatch::addExisting() {
    QStringList now = watcher_.directories();
    for (const std::string& dir : wanted_) {
        QString path = QDir::current().absoluteFilePath(QString::fromStdString(dir));
        path = QDir::cleanPath(path);
        if (!now.contains(path) && QFileInfo(path).isDir()) {
            watcher_.addPath(path);
            now << path;
        }
    }
}

// The first change of a burst starts the wait; those that follow ride along.
void MailboxWatch::somethingChanged() {
    addExisting();  // a mailbox directory may just have been made
    if (!coalesce_.isActive()) coalesce_.start();
}

}  // namespace views
