// The new-mail dialog ("Tarnwick - NEW MAIL!"): sender and subject of each item that arrived
// while it was open, newest on top, and buttons to read the mail (CMD_READ_MAIL), open the
// main window (CMD_OPEN) or just close. Modeless; it deletes itself when closed.
#pragma once

#include <QDialog>

#include <functional>

class QTreeWidget;

class NewMailDialog : public QDialog {
    Q_OBJECT

public:
    struct Hooks {
        std::function<void(int command)> postCommand;   // to the main window
        std::function<void()> closed;                   // once, when the dialog goes away
    };
    NewMailDialog(QWidget* owner, Hooks hooks);
    ~NewMailDialog() override;

    // Inserts a row at the top, sizes the columns to their contents and comes to the front.
    void addRow(const QString& from, const QString& subject);
    int rowCount() const;
    QString row(int index, int column) const;   // 0 is the top row

    void done(int result) override;

private:
    void closeWith(int command);
    Hooks hooks_;
    QTreeWidget* list_ = nullptr;
    bool closed_ = false;
};
