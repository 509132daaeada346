// What the engine's copied paths open: a row in the new-mail dialog for each new item (one
// dialog collects the rows until the user closes it) and a "Delivery Failure Notice" dialog
// for each refused outgoing item.
#pragma once

#include <QObject>
#include <QPointer>

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

class NewMailDialog;
class QDialog;
class QWidget;

class MailAnnouncements : public QObject {
    Q_OBJECT

public:
    // Sender and subject of an item.
    using HeaderReader = std::function<std::pair<std::string, std::string>(const std::string& path)>;
    // window: the main window, which owns the dialogs while it shows (may be null);
    // senderAndSubject: unset, read from the item's header, "<unknown>" for either one missing.
    explicit MailAnnouncements(QWidget* window, HeaderReader senderAndSubject = {}, QObject* parent = nullptr);
    ~MailAnnouncements() override;

    // The main window, once it exists.
    void setWindow(QWidget* window) { window_ = window; }

    void newItem(const std::string& path);  // COPYDATA_NEW_ITEM
    // COPYDATA_DELIVERY_FAILURE; reply: the provider's refusal, CRLF-separated lines; host:
    // the outgoing host that refused it, when the record names one.
    void deliveryFailure(const std::string& path, const std::string& reply = {}, const std::string& host = {});

    // The new-mail dialog while it is open; else null.
    NewMailDialog* newMailDialog() const;
    int failureDialogsOpen() const;

signals:
    // The new-mail dialog's Read and Details.
    void readMailRequested();
    void openWindowRequested();
    // A failure notice's Open log.
    void openLogRequested();

private:
    QPointer<QWidget> window_;
    HeaderReader senderAndSubject_;
    QPointer<NewMailDialog> newMail_;
    std::vector<QPointer<QDialog>> failures_;
};

// Sender and subject from the item's header, "<unknown>" standing for a missing one.
std::pair<std::string, std::string> headerSenderAndSubject(const std::string& path);
// The moment of the item's Date header (seconds since 1970), 0 when it has none that can be
// read: what the mail list sorts by.
std::int64_t headerDate(const std::string& path);
