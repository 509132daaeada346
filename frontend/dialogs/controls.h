// Building the controls of the settings dialogs: each control carries an object name that says
// what it holds ("smtpServer"), and every edit and combo box has its label as its buddy.
#pragma once

#include "frontend/desktop/desktop.h"

#include <QSpinBox>
#include <QString>
#include <QWidget>

#include <functional>
#include <initializer_list>
#include <string>

class QCheckBox;
class QDialog;
class QHBoxLayout;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

QLineEdit* textEdit(QWidget* parent, const char* name, int maxLength = 259);
// An edit for a whole number of at most maxDigits digits.
QLineEdit* numberEdit(QWidget* parent, const char* name, int maxDigits);
// A whole number from minimum to maximum, with arrows. What is typed is read as typed, so that
// a check can still name a value it refuses; its edit carries the box's object name too.
class NumberBox : public QSpinBox {
public:
    NumberBox(QWidget* parent, const char* name, int minimum, int maximum);
    // The number as the field shows it now.
    QString text() const { return cleanText(); }
    // Shows number; one outside the range is shown as it is, for the check to refuse.
    void setText(const QString& number);
    // The field's edit: its textChanged tells of every change, a number out of range too.
    QLineEdit* edit() const { return lineEdit(); }
};
QComboBox* listBox(QWidget* parent, const char* name);
QCheckBox* checkBox(QWidget* parent, const char* name, const QString& text);
QPushButton* pushButton(QWidget* parent, const char* name, const QString& text);
// A label with a mnemonic that gives its buddy the focus.
QLabel* buddyLabel(QWidget* parent, const QString& text, QWidget* buddy);
// A label of explanation that wraps its words.
QLabel* noteLabel(QWidget* parent, const QString& text);
// A dialog's bottom row: other buttons, then OK ("ok", the default button), at the right.
QHBoxLayout* okRow(QDialog* dialog, std::function<void()> pressed, std::initializer_list<QWidget*> others = {});

// A message box captioned "Tarnwick" with OK; the text is translated (context "Tarnwick"),
// then argument replaces its "%1".
void tellUser(QWidget* owner, const std::string& text, QMessageBox::Icon icon = QMessageBox::NoIcon,
              const std::string& argument = {});

std::string text(const QLineEdit* edit);
std::string text(const NumberBox* box);
void setText(QLineEdit* edit, const std::string& value);
// The command line of a file chosen with Browse: quoted when the words of a command line
// would otherwise split it.
std::string commandLineForPath(const std::string& path);
