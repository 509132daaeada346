#include "frontend/dialogs/controls.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QHBoxLayout>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>

QLineEdit* textEdit(QWidget* parent, const char* name, int maxLength) {
    auto* e = new QLineEdit(parent);
    e->setObjectName(QLatin1String(name));
    e->setMaxLength(maxLength);
    return e;
}

QLineEdit* numberEdit(QWidget* parent, const char* name, int maxDigits) {
    QLineEdit* e = textEdit(parent, name, maxDigits);
    e->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), e));
    e->setAlignment(Qt::AlignRight);
    e->setFixedWidth(e->fontMetrics().horizontalAdvance(QLatin1Char('0')) * (maxDigits + 3) + 12);
    return e;
}

NumberBox::NumberBox(QWidget* parent, const char* name, int minimum, int maximum) : QSpinBox(parent) {
    setObjectName(QLatin1String(name));
    lineEdit()->setObjectName(QLatin1String(name));
    setRange(minimum, maximum);
    setAlignment(Qt::AlignRight);
    setMinimumWidth(fontMetrics().horizontalAdvance(QString::number(maximum)) + 48);
    setMaximumWidth(minimumWidth());
}

void NumberBox::setText(const QString& number) {
    bool ok = false;
    int n = number.toInt(&ok);
    if (ok && n >= minimum() && n <= maximum()) setValue(n);
    else lineEdit()->setText(number);
}

QComboBox* listBox(QWidget* parent, const char* name) {
    auto* c = new QComboBox(parent);
    c->setObjectName(QLatin1String(name));
    c->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    c->setMinimumContentsLength(24);
    return c;
}

QCheckBox* checkBox(QWidget* parent, const char* name, const QString& text) {
    auto* c = new QCheckBox(text, parent);
    c->setObjectName(QLatin1String(name));
    return c;
}

QPushButton* pushButton(QWidget* parent, const char* name, const QString& text) {
    auto* b = new QPushButton(text, parent);
    b->setObjectName(QLatin1String(name));
    b->setAutoDefault(false);
    return b;
}

QLabel* buddyLabel(QWidget* parent, const QString& text, QWidget* buddy) {
    auto* l = new QLabel(text, parent);
    l->setBuddy(buddy);
    return l;
}

QLabel* noteLabel(QWidget* parent, const QString& text) {
    auto* l = new QLabel(text, parent);
    l->setWordWrap(true);
    return l;
}

QHBoxLayout* okRow(QDialog* dialog, std::function<void()> pressed, std::initializer_list<QWidget*> others) {
    auto* ok = new QPushButton(QCoreApplication::translate("Tarnwick", "OK"), dialog);
    ok->setObjectName(QStringLiteral("ok"));
    ok->setDefault(true);
    QObject::connect(ok, &QPushButton::clicked, dialog, std::move(pressed));
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    for (QWidget* w : others) row->addWidget(w);
    row->addWidget(ok);
    return row;
}

void tellUser(QWidget* owner, const std::string& text, QMessageBox::Icon icon, const std::string& argument) {
    QString shown = QCoreApplication::translate("Tarnwick", text.c_str());
    if (shown.contains(QLatin1String("%1"))) shown = shown.arg(QString::fromStdString(argument));
    messageBox(owner, {shown.toStdString(), "Tarnwick", QMessageBox::Ok, QMessageBox::Ok, icon});
}

std::string text(const QLineEdit* edit) {
    return edit->text().toStdString();
}

std::string text(const NumberBox* box) {
    return box->text().toStdString();
}

void setText(QLineEdit* edit, const std::string& value) {
    edit->setText(QString::fromStdString(value));
}

std::string commandLineForPath(const std::string& path) {
    if (path.find_first_of(" \t\"'\\$`") == std::string::npos) return path;
    std::string quoted = "'";
    for (char c : path) {
        if (c == '\'') quoted += "'\\''";
        else quoted += c;
    }
    return quoted + "'";
}
