// "Alternative e-mail client": a command line of the user's own for an account
// whose e-mail program the desktop does not list.
#pragma once

#include <QDialog>

#include <string>

class QLineEdit;

class AlternativeClientDialog : public QDialog {
    Q_OBJECT

public:
    // commandLine is updated by OK and by a file chosen with Browse.
    AlternativeClientDialog(std::string& commandLine, QWidget* owner);

private:
    void browse();
    void ok();

    std::string& commandLine_;
    QLineEdit* edit_;
};

// Shows the dialog modally, centred; answers 1 for OK (commandLine updated), 0 for Cancel.
int editAlternativeClient(std::string& commandLine, QWidget* owner);
