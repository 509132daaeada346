// The new-mail dialog ("Tarnwick - NEW MAIL!"): sender and subject of each item that arrived
// while it was open, newest on top, and buttons to read the mail, open the main window or just
// close. Modeless; it deletes itself when closed.
#pragma once

#include <QDialog>

class QTreeWidget;

class NewMailDialog : public QDialog {
    Q_OBJECT

public:
    explicit NewMailDialog(QWidget* owner);
    ~NewMailDialog() override;

    // Inserts a row at the top, sizes the columns to their contents and comes to the front.
    void addRow(const QString& from, const QString& subject);
    int rowCount() const;
    QString row(int index, int column) const;   // 0 is the top row

    void done(int result) override;

signals:
    // Read and Details, as the dialog closes.
    void readMailRequested();
    void openWindowRequested();
    // Once, when the dialog goes away.
    void closed();

private:
    QTreeWidget* list_ = nullptr;
    bool closed_ = false;
};
