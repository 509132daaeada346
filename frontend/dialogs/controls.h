// Building the controls of the settings dialogs: each control carries an object name that says
// what it holds ("smtpServer"), and every edit and combo box has its label as its buddy.
#pragma once

#include "frontend/desktop/desktop.h"

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
void setText(QLineEdit* edit, const std::string& value);
// The command line of a file chosen with Browse: quoted when the words of a command line
// would otherwise split it.
std::string commandLineForPath(const std::string& path);
