#include "frontend/dialogs/delivery_failure_dialog.h"

#include "frontend/dialogs/center_on_screen.h"
#include "frontend/dialogs/controls.h"
#include "frontend/icons/icons.h"
#include "frontend/schedule/schedule_state.h"
#include "frontend/mail/encoded_words.h"
#include "frontend/mail/rfc822_mail_header.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QVBoxLayout>

namespace {

constexpr std::size_t kLineMax = 259;           // the notice's 260-byte line
constexpr std::size_t kRecipientsMax = 128;     // a longer To is a list of many
constexpr std::size_t kReplyLinesMax = 20;      // reply lines shown; a longer reply is cut

// "Label: value", "-" for a missing value, cut to the notice's line.
std::string noticeLine(const char* label, const char* value) {
    std::string line = std::string(label) + ": " + (value ? value : "-");
    if (line.size() > kLineMax) {
        std::size_t cut = kLineMax;
        while (cut > 0 && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80) --cut;
        line.resize(cut);
    }
    return line;
}

// A header's line: its encoded words decoded for display.
std::string headerLine(const char* label, const char* value) {
    return value ? noticeLine(label, mail::decodeHeaderValue(value).c_str()) : noticeLine(label, nullptr);
}

}  // namespace

// The engine names queue items "outgoing//NAME"; the owner reads the path with one separator.
std::string displayedPath(const std::string& path) {
    std::string shown;
    for (const char c : path) {
        if (c == '/' && !shown.empty() && shown.back() == '/') continue;
        shown += c;
    }
    return shown;
}

std::vector<std::string> deliveryFailureLines(const std::string& path, const std::string& reply) {
    RFC822MailHeader header(path);
    const char* to = header.value(RFC822MailHeader::kTo);
    if (to && std::char_traits<char>::length(to) > kRecipientsMax) to = "(Multiple recipients)";
    std::vector<std::string> lines{
        headerLine("Date", header.value(RFC822MailHeader::kDate)),
        headerLine("From", header.value(RFC822MailHeader::kFrom)),
        headerLine("To", to),
        headerLine("Subject", header.value(RFC822MailHeader::kSubject)),
        displayedPath(path),
    };
    std::size_t from = 0;
    while (from < reply.size() && lines.size() < 5 + kReplyLinesMax) {
        std::size_t end = reply.find("\r\n", from);
        if (end == std::string::npos) end = reply.size();
        if (end > from) lines.push_back(noticeLine("Reply", reply.substr(from, end - from).c_str()));
        from = end + 2;
    }
    return lines;
}

DeliveryFailureDialog::DeliveryFailureDialog(QWidget* owner, const std::string& path, const std::string& reply)
    : QDialog(owner) {
    setObjectName(QStringLiteral("deliveryFailureDialog"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(tr("Delivery Failure Notice"));
    setWindowIcon(programIcon(ProgramIcon::Program));

    auto* picture = new QLabel(this);
    picture->setPixmap(trayFrameIcon(kTrayFailed).pixmap(32, 32));
    picture->setAlignment(Qt::AlignTop);
    auto* text = noteLabel(this, tr("Tarnwick was unable to delivery the following mail item. "
                                    "Review the log for a further explanation of the problem."));
    auto* heading = new QHBoxLayout;
    heading->addWidget(picture);
    heading->addWidget(text, 1);

    list_ = new QListWidget(this);
    list_->setObjectName(QStringLiteral("itemLines"));
    for (const std::string& line : deliveryFailureLines(path, reply)) list_->addItem(QString::fromStdString(line));
    // Room for the lines and a horizontal scroll bar for a long one, no more.
    list_->setMinimumWidth(460);
    list_->setFixedHeight((list_->count() + 2) * list_->sizeHintForRow(0) + 2 * list_->frameWidth());

    QHBoxLayout* buttons = okRow(this, [this] { close(); });

    auto* top = new QVBoxLayout(this);
    top->addLayout(heading);
    top->addWidget(list_, 1);
    top->addLayout(buttons);
    adjustSize();
    centerOnScreen(this);
}
