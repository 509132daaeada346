// The "Delivery Failure Notice": one per outgoing item the provider refused, showing the
// item's Date, From, To and Subject, its path and the provider's reply. Modeless; it deletes
// itself when closed.
#pragma once

#include <QDialog>

#include <string>
#include <vector>

class QListWidget;

// The five lines of the notice for the item at path, read from its header: "Date: ...",
// "From: ...", "To: ...", "Subject: ...", each "-" when missing, "To" shown as
// "(Multiple recipients)" past 128 characters, then the path. A line is at most 259 bytes
// and never ends in half a character. Each line of the provider's reply (CRLF-separated, as
// the engine forwards it) follows as "Reply: ...", cut the same way.
std::vector<std::string> deliveryFailureLines(const std::string& path, const std::string& reply = {});

class DeliveryFailureDialog : public QDialog {
    Q_OBJECT

public:
    DeliveryFailureDialog(QWidget* owner, const std::string& path, const std::string& reply = {});
    QListWidget* list() const { return list_; }

private:
    QListWidget* list_ = nullptr;
};
