// The About box: the program, its version and the operating system it runs on.
#pragma once

#include <QDialog>

class AboutDialog : public QDialog {
    Q_OBJECT

public:
    explicit AboutDialog(QWidget* owner);
};

// The product line: "Tarnwick" and the word size of this build, "(64-bit)" on x86-64.
QString aboutProductLine();
