#include "frontend/dialogs/mail_dialogs.h"

#include "frontend/dialogs/modal.h"
#include "frontend/dialogs/controls.h"
#include "frontend/icons/icons.h"
#include "frontend/mail/encoded_words.h"
#include "frontend/mail/rfc822_mail_header.h"
#include "frontend/mail/row_cells.h"
#include "frontend/schedule/schedule_state.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QCoreApplication>
#include <QListWidget>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

// What both dialogs share: the tray's picture of the state beside the heading, the list below
// it, the buttons at the bottom; the whole centred on the screen.
void layOut(QDialog* dialog, const char* name, const QString& title, int trayFrame, QLabel* text, QWidget* list,
            QLayout* buttons) {
    dialog->setObjectName(QLatin1String(name));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowTitle(title);
    dialog->setWindowIcon(programIcon(ProgramIcon::Program));
    auto* picture = new QLabel(dialog);
    picture->setPixmap(trayFrameIcon(trayFrame).pixmap(32, 32));
    picture->setAlignment(Qt::AlignTop);
    auto* heading = new QHBoxLayout;
    heading->addWidget(picture);
    heading->addWidget(text, 1);
    auto* top = new QVBoxLayout(dialog);
    top->addLayout(heading);
    top->addWidget(list, 1);
    top->addLayout(buttons);
    dialog->adjustSize();
    centerOnScreen(dialog);
}

constexpr std::size_t kLineMax = 259;  // the notice's 260-byte line
constexpr std::size_t kRecipientsMax = 128;  // a longer To is a list of many
constexpr std::size_t kReplyLinesMax = 20;  // reply lines shown; a longer reply is cut

// "Label: value", "-" for a missing value, cut to the notice's line; the label in the user's
// language.
std::string noticeLine(const char* label, const char* value) {
    std::string shown = QCoreApplication::translate("DeliveryFailureDialog", label).toStdString();
    return views::cutUtf8(shown + ": " + (value ? value : "-"), kLineMax);
}

// A header's line: its encoded words decoded for display.
std::string headerLine(const char* label, const char* value) {
    return value ? noticeLine(label, mail::decodeHeaderValue(value).c_str()) : noticeLine(label, nullptr);
}

// The engine names queue items "outgoing//NAME"; the owner reads the path with one separator.
std::string displayedPath(const std::string& path) {
    std::string shown;
    for (const char c : path) {
        if (c == '/' && !shown.empty() && shown.back() == '/') continue;
        shown += c;
    }
    return shown;
}

}  // namespace

NewMailDialog::NewMailDialog(QWidget* owner) : QDialog(owner) {
    list_ = new QTreeWidget(this);
    list_->setObjectName(QStringLiteral("senders"));
    list_->setRootIsDecorated(false);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setHeaderLabels({tr("From"), tr("Subject")});
    list_->header()->setStretchLastSection(false);
    list_->setColumnWidth(0, 64);
    list_->setColumnWidth(1, 64);
    list_->setMinimumSize(420, 140);

    auto* details = pushButton(this, "details", tr("&Details"));
    auto* read = pushButton(this, "read", tr("&Read"));
    auto* ok = pushButton(this, "ok", tr("OK"));
    ok->setDefault(true);
    connect(details, &QPushButton::clicked, this, &NewMailDialog::openWindowRequested);
    connect(read, &QPushButton::clicked, this, &NewMailDialog::readMailRequested);
    for (QPushButton* button : {details, read, ok}) connect(button, &QPushButton::clicked, this, &QWidget::close);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(details);
    buttons->addStretch(1);
    buttons->addWidget(read);
    buttons->addWidget(ok);

    layOut(this, "newMailDialog", tr("Tarnwick - NEW MAIL!"), kTrayChecking,
           new QLabel(tr("You have new mail from the following:"), this), list_, buttons);
}

NewMailDialog::~NewMailDialog() {
    if (!closed_) emit closed();
}

void NewMailDialog::addRow(const QString& from, const QString& subject, qint64 when) {
    auto* item = new QTreeWidgetItem({from, subject});
    item->setData(0, Qt::UserRole, when);
    int at = 0;
    while (at < list_->topLevelItemCount() && list_->topLevelItem(at)->data(0, Qt::UserRole).toLongLong() > when) ++at;
    list_->insertTopLevelItem(at, item);
    list_->setCurrentIndex(QModelIndex());  // no row stands out; OK keeps the focus
    list_->resizeColumnToContents(0);
    list_->resizeColumnToContents(1);
    show();
    raise();
    activateWindow();
}

int NewMailDialog::rowCount() const {
    return list_->topLevelItemCount();
}

QString NewMailDialog::row(int index, int column) const {
    QTreeWidgetItem* item = list_->topLevelItem(index);
    return item ? item->text(column) : QString();
}

// Every way out (the buttons, Esc, the window's close button) ends here: the rows are not
// kept, and the next new item opens a fresh dialog.
void NewMailDialog::done(int result) {
    if (!closed_) {
        closed_ = true;
        emit closed();
    }
    QDialog::done(result);
    deleteLater();  // Esc only hides a dialog
}

std::vector<std::string> deliveryFailureLines(const std::string& path, const std::string& reply,
                                              const std::string& host) {
    RFC822MailHeader header(path);
    const char* to = header.value(RFC822MailHeader::kTo);
    std::string many;
    if (to && std::char_traits<char>::length(to) > kRecipientsMax) {
        many = QCoreApplication::translate("DeliveryFailureDialog", "(Multiple recipients)").toStdString();
        to = many.c_str();
    }
    std::vector<std::string> lines{
        headerLine(QT_TRANSLATE_NOOP("DeliveryFailureDialog", "Date"), header.value(RFC822MailHeader::kDate)),
        headerLine(QT_TRANSLATE_NOOP("DeliveryFailureDialog", "From"), header.value(RFC822MailHeader::kFrom)),
        headerLine(QT_TRANSLATE_NOOP("DeliveryFailureDialog", "To"), to),
        headerLine(QT_TRANSLATE_NOOP("DeliveryFailureDialog", "Subject"), header.value(RFC822MailHeader::kSubject)),
        displayedPath(path),
    };
    if (!host.empty()) lines.push_back(noticeLine(QT_TRANSLATE_NOOP("DeliveryFailureDialog", "Host"), host.c_str()));
    std::size_t from = 0;
    std::size_t before = lines.size();
    while (from < reply.size() && lines.size() < before + kReplyLinesMax) {
        std::size_t end = reply.find("\r\n", from);
        if (end == std::string::npos) end = reply.size();
        if (end > from)
            lines.push_back(noticeLine(QT_TRANSLATE_NOOP("DeliveryFailureDialog", "Reply"),
                                       reply.substr(from, end - from).c_str()));
        from = end + 2;
    }
    return lines;
}

DeliveryFailureDialog::DeliveryFailureDialog(QWidget* owner, const std::string& path, const std::string& reply,
                                             const std::string& host)
    : QDialog(owner) {
    auto* text = noteLabel(this, tr("Tarnwick was unable to deliver the following mail item. "
                                    "Open the log for a further explanation of the problem."));
    list_ = new QListWidget(this);
    list_->setObjectName(QStringLiteral("itemLines"));
    for (const std::string& line : deliveryFailureLines(path, reply, host))
        list_->addItem(QString::fromStdString(line));
    // Room for the lines and a horizontal scroll bar for a long one, no more.
    list_->setMinimumWidth(460);
    list_->setFixedHeight((list_->count() + 2) * list_->sizeHintForRow(0) + 2 * list_->frameWidth());

    auto* openLog = pushButton(this, "openLog", tr("Open &log"));
    connect(openLog, &QPushButton::clicked, this, &DeliveryFailureDialog::openLogRequested);
    layOut(this, "deliveryFailureDialog", tr("Delivery Failure Notice"), kTrayFailed, text, list_,
           okRow(this, [this] { close(); }, {openLog}));
}
