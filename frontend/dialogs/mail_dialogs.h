// The dialogs that announce mail, both modeless and deleted once closed:
// - the new-mail dialog ("Tarnwick - NEW MAIL!"): sender and subject of each item that arrived
//   while it was open, newest first as the mail list sorts them, and buttons to read the mail, open the main window or
//   just close;
// - the "Delivery Failure Notice": one per outgoing item the provider refused, showing the
//   item's Date, From, To and Subject, its path and the provider's reply.
#pragma once

#include <QDialog>

#include <string>
#include <vector>

class QListWidget;
class QTreeWidget;

class NewMailDialog : public QDialog {
    Q_OBJECT

public:
    explicit NewMailDialog(QWidget* owner);
    ~NewMailDialog() override;

    // Inserts a row in the mail list's order, newest first: by the message's date (when,
    // seconds since 1970; 0 for none, which sorts oldest), the last arrived first among equal
    // dates. Sizes the columns to their contents and comes to the front.
    void addRow(const QString& from, const QString& subject, qint64 when = 0);
    int rowCount() const;
    QString row(int index, int column) const;  // 0 is the top row

    void done(int result) override;

signals:
    // Read and Details, as the dialog closes.
    void readMailRequested();
    void openWindowRequested();
    // Once, when the dialog goes away.
    void closed();

private:
    QTreeWidget* list_ = nullptr;
    bool closed_ = false;
};

// The five lines of the notice for the item at path, read from its header: "Date: ...",
// "From: ...", "To: ...", "Subject: ...", each "-" when missing, "To" shown as
// "(Multiple recipients)" past 128 characters, then the path. A line is at most 259 bytes
// and never ends in half a character. Each line of the provider's reply (CRLF-separated, as
// the engine forwards it) follows as "Reply: ...", cut the same way.
// host: the outgoing host that refused the item ("host:port"), shown when known.
std::vector<std::string> deliveryFailureLines(const std::string& path, const std::string& reply = {},
                                              const std::string& host = {});

class DeliveryFailureDialog : public QDialog {
    Q_OBJECT

public:
    DeliveryFailureDialog(QWidget* owner, const std::string& path, const std::string& reply = {},
                          const std::string& host = {});
    QListWidget* list() const { return list_; }

signals:
    // Open log: the day's log, which says what happened.
    void openLogRequested();

private:
    QListWidget* list_ = nullptr;
};
