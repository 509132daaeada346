// Building the numbered controls of the settings dialogs: each control carries its number as
// its object name ("c626"), and every edit and combo box has its label as its buddy.
#pragma once

#include <QString>
#include <QWidget>

#include <string>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

QString controlName(int id);

// The control numbered id among parent's descendants, or null.
template <class T>
T* control(const QWidget* parent, int id) {
    return parent->findChild<T*>(controlName(id));
}

QLineEdit* numberedEdit(QWidget* parent, int id, int maxLength = 259);
// An edit for a whole number of at most maxDigits digits.
QLineEdit* numberEdit(QWidget* parent, int id, int maxDigits);
QComboBox* numberedCombo(QWidget* parent, int id);
QCheckBox* numberedCheck(QWidget* parent, int id, const QString& text);
QPushButton* numberedButton(QWidget* parent, int id, const QString& text);
// A label with a mnemonic that gives its buddy the focus.
QLabel* buddyLabel(QWidget* parent, const QString& text, QWidget* buddy, int id = 0);

// What GetDlgItemInt would read: the unsigned number in the edit, or nothing.
bool readNumber(const QLineEdit* edit, unsigned& value);

std::string text(const QLineEdit* edit);
void setText(QLineEdit* edit, const std::string& value);
// The command line of a file chosen with Browse: quoted when the words of a command line
// would otherwise split it.
std::string commandLineForPath(const std::string& path);
