// Watches the accounts' mailbox directories and the outgoing queue, so that what others do to
// them (the e-mail program collecting mail through the local POP3 server, which marks items
// read and deletes them) shows at once. A burst of changes (a whole mailbox collected) gives
// one changed() a short while after the first of them, never one per file.
#pragma once

#include <QFileSystemWatcher>
#include <QObject>
#include <QTimer>

#include <string>
#include <vector>

namespace views {

class MailboxWatch : public QObject {
    Q_OBJECT

public:
    static constexpr int kCoalesceMs = 250;

    explicit MailboxWatch(QObject* parent = nullptr);

    // Watches these directories from now on (those that do not exist yet are watched once
    // they do: the parent "accounts" directory and the working directory are watched for them).
    void watch(std::vector<std::string> directories);
    // The directories of every account's mailbox and the outgoing queue, as the settings say.
    static std::vector<std::string> mailDirectories();

    QStringList watched() const { return watcher_.directories(); }

signals:
    void changed();

private:
    void addExisting();
    void somethingChanged();

    QFileSystemWatcher watcher_;
    QTimer coalesce_;
    std::vector<std::string> wanted_;
};

}  // namespace views
