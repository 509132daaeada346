#include "frontend/app/mail_announcements.h"

#include "frontend/dialogs/mail_dialogs.h"
#include "frontend/dialogs/modal.h"
#include "frontend/mail/encoded_words.h"
#include "frontend/mail/mail_dates.h"
#include "frontend/mail/rfc822_mail_header.h"
#include "log/debug.h"
#include "config/settings.h"

#include <algorithm>

std::pair<std::string, std::string> headerSenderAndSubject(const std::string& path) {
    RFC822MailHeader header(path);
    const char* from = header.value(RFC822MailHeader::kFrom);
    const char* subject = header.value(RFC822MailHeader::kSubject);
    return {from ? mail::decodeHeaderValue(from) : "<unknown>",
            subject ? mail::decodeHeaderValue(subject) : "<unknown>"};
}

std::int64_t headerDate(const std::string& path) {
    RFC822MailHeader header(path);
    const char* date = header.value(RFC822MailHeader::kDate);
    return date ? views::parseMailDate(date).value_or(0) : 0;
}

MailAnnouncements::MailAnnouncements(QWidget* window, HeaderReader senderAndSubject, QObject* parent)
    : QObject(parent),
      window_(window),
      senderAndSubject_(std::move(senderAndSubject)) {
    if (!senderAndSubject_) senderAndSubject_ = headerSenderAndSubject;
}

MailAnnouncements::~MailAnnouncements() {
    delete newMail_.data();
    for (auto& d : failures_) delete d.data();
}

void MailAnnouncements::newItem(const std::string& path) {
    if (config::readSetting(config::kNotifyDisDialog) == 0) return;
    if (!newMail_) {
        newMail_ = new NewMailDialog(ownerWhileShown(window_));
        connect(newMail_, &NewMailDialog::readMailRequested, this, &MailAnnouncements::readMailRequested);
        connect(newMail_, &NewMailDialog::openWindowRequested, this, &MailAnnouncements::openWindowRequested);
        // Closed, it is gone: the next item opens a fresh one.
        connect(newMail_, &NewMailDialog::closed, this, [this] { newMail_ = nullptr; });
    }
    DebugLineStr(LOG_APP, LOG_LOW, "WM_COPYDATA filename :", path.c_str());
    auto [from, subject] = senderAndSubject_(path);
    newMail_->addRow(QString::fromStdString(from), QString::fromStdString(subject), headerDate(path));
}

void MailAnnouncements::deliveryFailure(const std::string& path, const std::string& reply, const std::string& host) {
    // Forget the dialogs the user has closed meanwhile.
    failures_.erase(std::remove_if(failures_.begin(), failures_.end(), [](const QPointer<QDialog>& d) { return !d; }),
                    failures_.end());
    auto* dialog = new DeliveryFailureDialog(ownerWhileShown(window_), path, reply, host);
    failures_.emplace_back(dialog);
    connect(dialog, &DeliveryFailureDialog::openLogRequested, this, &MailAnnouncements::openLogRequested);
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
}

int MailAnnouncements::failureDialogsOpen() const {
    return static_cast<int>(std::count_if(failures_.begin(), failures_.end(),
                                          [](const QPointer<QDialog>& d) { return d && d->isVisible(); }));
}

NewMailDialog* MailAnnouncements::newMailDialog() const {
    return newMail_.data();
}
