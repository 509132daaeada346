#include "frontend/app/menus.h"

#include <QMenu>
#include <QMenuBar>

QAction* CommandActions::make(const QString& text, const char* name) {
    auto* action = new QAction(text, this);
    action->setObjectName(QLatin1String(name));
    return action;
}

void CommandActions::watch(QMenu* menu) {
    connect(menu, &QMenu::aboutToShow, this, &CommandActions::aboutToShow);
}

void CommandActions::buildMainMenu(QMenuBar* bar) {
    QMenu* file = bar->addMenu(tr("&File"));
    file->addAction(cycleNow);
    file->addSeparator();
    file->addActions({resume, suspend});
    file->addSeparator();
    file->addActions({close, exit});

    QMenu* view = bar->addMenu(tr("&View"));
    view->addAction(readMail);
    view->addSeparator();
    view->addAction(log);
    view->addSeparator();
    view->addAction(options);

    QMenu* accounts = bar->addMenu(tr("&Accounts"));
    accounts->addActions({addAccount, removeAccount});
    accounts->addSeparator();
    accounts->addAction(accountProperties);

    QMenu* help = bar->addMenu(tr("&Help"));
    help->addAction(helpContents);
    help->addSeparator();
    QMenu* online = help->addMenu(tr("Online"));
    online->addActions({homepage, emailSupport});
    help->addSeparator();
    help->addAction(about);
    for (QAction* menu : bar->actions()) watch(menu->menu());
}

QMenu* CommandActions::buildTrayMenu() {
    auto* menu = new QMenu;
    menu->setObjectName(QStringLiteral("TARNWICKTRAY"));
    menu->addAction(open);
    menu->addSeparator();
    menu->addActions({cycleNow, resume, suspend});
    menu->addSeparator();
    menu->addActions({options, readMail});
    menu->addSeparator();
    menu->addAction(about);
    menu->addSeparator();
    menu->addAction(exit);
    watch(menu);
    return menu;
}
