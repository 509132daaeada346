#include "frontend/desktop/help_window.h"

#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QPushButton>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

HelpWindow::HelpWindow(std::function<std::string()> logPath, QWidget* parent)
    : QDialog(parent),
      logPath_(std::move(logPath)),
      browser_(new QTextBrowser(this)) {
    setObjectName(QStringLiteral("helpWindow"));
    setWindowTitle(tr("Tarnwick Help"));
    browser_->setObjectName(QStringLiteral("helpText"));
    browser_->setOpenExternalLinks(true);  // web addresses: the desktop's browser
    auto* contents = new QPushButton(tr("&Contents"), this);
    contents->setObjectName(QStringLiteral("contents"));
    auto* log = new QPushButton(tr("&Log"), this);
    log->setObjectName(QStringLiteral("log"));
    auto* close = new QPushButton(tr("Close"), this);
    connect(contents, &QPushButton::clicked, this, [this] {
        if (!lastPage_.empty()) showPage(lastPage_);
    });
    connect(log, &QPushButton::clicked, this, &HelpWindow::showLog);
    connect(close, &QPushButton::clicked, this, &QDialog::close);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(contents);
    buttons->addWidget(log);
    buttons->addStretch(1);
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(browser_);
    layout->addLayout(buttons);
    resize(640, 520);
}

void HelpWindow::showPage(const std::string& url) {
    lastPage_ = url;
    setWindowTitle(tr("Tarnwick Help"));
    QUrl address(QString::fromStdString(url));
    if (address.isLocalFile() && !QFileInfo(address.toLocalFile()).isFile()) {
        browser_->setPlainText(tr("The help page %1 cannot be found.").arg(address.toLocalFile()));
    } else {
        browser_->setSource(address);
    }
    present();
}

void HelpWindow::showLog() {
    const QString path = QString::fromStdString(logPath_ ? logPath_() : std::string());
    QFile file(path);
    if (file.open(QIODevice::ReadOnly)) browser_->setPlainText(QString::fromUtf8(file.readAll()));
    else browser_->setPlainText(tr("The log %1 cannot be read.").arg(path));
    setWindowTitle(tr("Tarnwick Log - %1").arg(path));
    present();
}

void HelpWindow::present() {
    show();
    raise();
    activateWindow();
}
