#include "frontend/dialogs/new_mail_dialog.h"

#include "frontend/dialogs/center_on_screen.h"
#include "frontend/dialogs/controls.h"
#include "frontend/icons/icons.h"
#include "frontend/schedule/schedule_state.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

NewMailDialog::NewMailDialog(QWidget* owner) : QDialog(owner) {
    setObjectName(QStringLiteral("newMailDialog"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(tr("Tarnwick - NEW MAIL!"));
    setWindowIcon(programIcon(ProgramIcon::Program));

    auto* picture = new QLabel(this);
    picture->setPixmap(trayFrameIcon(kTrayChecking).pixmap(32, 32));
    auto* text = new QLabel(tr("You have new mail from the following:"), this);
    auto* heading = new QHBoxLayout;
    heading->addWidget(picture);
    heading->addWidget(text, 1);

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

    auto* top = new QVBoxLayout(this);
    top->addLayout(heading);
    top->addWidget(list_, 1);
    top->addLayout(buttons);
    adjustSize();
    centerOnScreen(this);
}

NewMailDialog::~NewMailDialog() {
    if (!closed_) emit closed();
}

void NewMailDialog::addRow(const QString& from, const QString& subject) {
    auto* item = new QTreeWidgetItem({from, subject});
    list_->insertTopLevelItem(0, item);
    list_->setCurrentIndex(QModelIndex());   // no row stands out; OK keeps the focus
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
    deleteLater();   // Esc only hides a dialog
}
