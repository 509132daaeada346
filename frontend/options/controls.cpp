#include "frontend/options/controls.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>

QString controlName(int id) {
    return QStringLiteral("c%1").arg(id);
}

QLineEdit* numberedEdit(QWidget* parent, int id, int maxLength) {
    auto* e = new QLineEdit(parent);
    e->setObjectName(controlName(id));
    e->setMaxLength(maxLength);
    return e;
}

QLineEdit* numberEdit(QWidget* parent, int id, int maxDigits) {
    QLineEdit* e = numberedEdit(parent, id, maxDigits);
    e->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), e));
    e->setAlignment(Qt::AlignRight);
    e->setMaximumWidth(e->fontMetrics().horizontalAdvance(QLatin1Char('0')) * (maxDigits + 3) + 12);
    return e;
}

QComboBox* numberedCombo(QWidget* parent, int id) {
    auto* c = new QComboBox(parent);
    c->setObjectName(controlName(id));
    c->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    c->setMinimumContentsLength(24);
    return c;
}

QCheckBox* numberedCheck(QWidget* parent, int id, const QString& text) {
    auto* c = new QCheckBox(text, parent);
    c->setObjectName(controlName(id));
    return c;
}

QPushButton* numberedButton(QWidget* parent, int id, const QString& text) {
    auto* b = new QPushButton(text, parent);
    b->setObjectName(controlName(id));
    b->setAutoDefault(false);
    return b;
}

QLabel* buddyLabel(QWidget* parent, const QString& text, QWidget* buddy, int id) {
    auto* l = new QLabel(text, parent);
    if (id) l->setObjectName(controlName(id));
    l->setBuddy(buddy);
    return l;
}

bool readNumber(const QLineEdit* edit, unsigned& value) {
    bool ok = false;
    value = edit->text().trimmed().toUInt(&ok);
    return ok;
}

std::string text(const QLineEdit* edit) {
    return edit->text().toStdString();
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
