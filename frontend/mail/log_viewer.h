// The day's log in a window of its own: titled by the day it covers, opened at its newest line,
// long lines wrapped, new lines added as the engine and the front end write them while the
// window is open (kept at the end while the user is at the end), and a Copy button for the
// selection, or the whole log when nothing is selected.
#pragma once

#include <QDate>
#include <QDialog>
#include <QFileSystemWatcher>
#include <QLocale>
#include <QTimer>

class QPlainTextEdit;

namespace views {

// The date as the locale writes it in full, without the weekday: "8 December 2026",
// "8. Dezember 2026", "December 8, 2026".
QString longDateText(const QDate& day, const QLocale& locale);

class LogViewer : public QDialog {
    Q_OBJECT

public:
    // path: the day file; day: the day it holds.
    LogViewer(const QString& path, const QDate& day, QWidget* parent = nullptr);

    const QString& path() const { return path_; }
    QPlainTextEdit* text() const { return text_; }
    // Reads what was added to the file since the last look (the watcher and a one-second
    // timer call it; a test may call it directly). A file that shrank is read anew.
    void follow();
    // The selection, or the whole log, to the clipboard.
    void copy();

private:
    QString path_;
    QPlainTextEdit* text_;
    qint64 read_ = 0;  // bytes of the file shown
    bool missing_ = false;  // the file could not be read at the last look
    QByteArray partial_;  // the start of a line still being written
    QFileSystemWatcher watcher_;
    QTimer poll_;
};

}  // namespace views
