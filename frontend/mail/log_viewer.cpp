#include "frontend/mail/log_viewer.h"

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QVBoxLayout>

namespace views {

QString longDateText(const QDate& day, const QLocale& locale) {
    QString format = locale.dateFormat(QLocale::LongFormat);
    // The weekday with whatever joins it to the rest ("dddd, ", ", dddd", "dddd ").
    format.remove(QRegularExpression(QStringLiteral("d{4}[,.]?\\s*|[,.]?\\s*d{4}")));
    return locale.toString(day, format.trimmed());
}

LogViewer::LogViewer(const QString& path, const QDate& day, QWidget* parent) : QDialog(parent), path_(path) {
    setObjectName(QStringLiteral("logViewer"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(tr("Tarnwick log \u2013 %1").arg(longDateText(day, QLocale::system())));
    text_ = new QPlainTextEdit(this);
    text_->setObjectName(QStringLiteral("logText"));
    text_->setReadOnly(true);
    text_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    text_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    text_->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    text_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    auto* copyButton = new QPushButton(tr("&Copy"), this);
    copyButton->setObjectName(QStringLiteral("copy"));
    copyButton->setToolTip(tr("Copies the selected lines, or the whole log when none are selected."));
    auto* close = new QPushButton(tr("Close"), this);
    close->setObjectName(QStringLiteral("close"));
    connect(copyButton, &QPushButton::clicked, this, &LogViewer::copy);
    connect(close, &QPushButton::clicked, this, &QDialog::close);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(copyButton);
    buttons->addStretch(1);
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text_, 1);
    layout->addLayout(buttons);
    resize(760, 480);
    follow();
    connect(&watcher_, &QFileSystemWatcher::fileChanged, this, &LogViewer::follow);
    // The watcher loses a file that is replaced, and cannot watch one not made yet.
    connect(&poll_, &QTimer::timeout, this, &LogViewer::follow);
    poll_.start(1000);
}

void LogViewer::follow() {
    QFile file(path_);
    if (!file.open(QIODevice::ReadOnly)) {
        if (!missing_) {
            text_->setPlainText(tr("The log %1 cannot be read.").arg(path_));
            read_ = 0;
            partial_.clear();
            missing_ = true;
        }
        return;
    }
    if (missing_ || file.size() < read_) {
        text_->clear();
        read_ = 0;
        partial_.clear();
        missing_ = false;
    }
    if (watcher_.files().isEmpty()) watcher_.addPath(path_);
    if (file.size() == read_) return;
    file.seek(read_);
    QByteArray added = partial_ + file.readAll();
    read_ = file.pos();
    // Only whole lines; the rest waits for its end.
    qsizetype end = added.lastIndexOf('\n');
    partial_ = added.mid(end + 1);
    if (end < 0) return;
    added.truncate(end);
    QScrollBar* bar = text_->verticalScrollBar();
    bool atEnd = text_->document()->isEmpty() || bar->value() >= bar->maximum();
    int kept = bar->value();
    // appendPlainText adds a paragraph per line; the text keeps its own line ends.
    text_->appendPlainText(QString::fromUtf8(added));
    if (atEnd) {
        text_->moveCursor(QTextCursor::End);
        bar->setValue(bar->maximum());
    } else {
        bar->setValue(kept);
    }
}

void LogViewer::copy() {
    QString chosen = text_->textCursor().selectedText();
    // A selection across lines holds paragraph separators where the lines end.
    chosen.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    QApplication::clipboard()->setText(chosen.isEmpty() ? text_->toPlainText() + QLatin1Char('\n') : chosen);
}

}  // namespace views
