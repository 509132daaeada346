#include "frontend/dialogs/about_dialog.h"

#include "frontend/dialogs/modal.h"
#include "frontend/dialogs/controls.h"
#include "frontend/icons/icons.h"
#include "platform/os_version.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#ifndef TW_VERSION
#define TW_VERSION "0.1"
#endif

QString aboutProductLine() {
    return QCoreApplication::translate("AboutDialog", "Tarnwick (%1-bit)").arg(static_cast<int>(sizeof(void*) * 8));
}

AboutDialog::AboutDialog(QWidget* owner) : QDialog(owner) {
    setObjectName(QStringLiteral("aboutDialog"));
    setWindowTitle(tr("About"));
    setWindowIcon(programIcon(ProgramIcon::Program));

    auto* picture = new QLabel(this);
    picture->setPixmap(programIcon(ProgramIcon::Program).pixmap(48, 48));
    picture->setAlignment(Qt::AlignTop);

    auto* product = new QLabel(aboutProductLine(), this);
    QFont bold = product->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.2);
    product->setFont(bold);
    auto* version = new QLabel(tr("Version %1").arg(QStringLiteral(TW_VERSION)), this);
    auto* what = new QLabel(tr("Your mail, gathered and sent on your schedule."), this);
    auto* os = new QLabel(QString::fromStdString(plat::operatingSystemLine()), this);
    os->setObjectName(QStringLiteral("operatingSystem"));
    os->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* lines = new QVBoxLayout;
    lines->addWidget(product);
    lines->addWidget(version);
    lines->addWidget(what);
    lines->addSpacing(8);
    lines->addWidget(os);
    auto* body = new QHBoxLayout;
    body->addWidget(picture);
    body->addSpacing(12);
    body->addLayout(lines, 1);

    QHBoxLayout* buttons = okRow(this, [this] { accept(); });

    auto* top = new QVBoxLayout(this);
    top->addLayout(body);
    top->addSpacing(6);
    top->addLayout(buttons);
    setMinimumWidth(340);
    adjustSize();
    centerOnScreen(this);
}
