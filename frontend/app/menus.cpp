#include "frontend/app/menus.h"

#include "frontend/commands.h"

#include <QAction>
#include <QCoreApplication>
#include <QMenu>
#include <QMenuBar>

struct CommandActions::Item {
    const char* text;   // null: separator
    int id;             // 0 with a text: a submenu of the items up to the next id -1
    bool grayed = false;
};

namespace {

using Item = CommandActions::Item;
constexpr int kSubmenuEnd = -1;

QString tr(const char* text) {
    return QCoreApplication::translate("Menus", text);
}

const Item kFileMenu[] = {
    {"&Cycle Now", CMD_CYCLE_NOW}, {nullptr, 0}, {"Re&sume", CMD_RESUME}, {"S&uspend", CMD_SUSPEND},
    {nullptr, 0}, {"C&lose", CMD_CLOSE}, {"&Exit", CMD_EXIT},
};
const Item kViewMenu[] = {
    {"&Read mail", CMD_READ_MAIL}, {nullptr, 0}, {"Log", CMD_LOG}, {nullptr, 0}, {"O&ptions", CMD_OPTIONS},
};
const Item kAccountsMenu[] = {
    {"&Add", CMD_ACCOUNT_ADD}, {"&Remove", CMD_ACCOUNT_REMOVE}, {nullptr, 0}, {"&Properties", CMD_ACCOUNT_PROPERTIES},
};
const Item kHelpMenu[] = {
    {"&Contents", CMD_HELP_CONTENTS}, {nullptr, 0}, {"Online", 0}, {"&Homepage", CMD_HOMEPAGE},
    {"&Email support", CMD_EMAIL_SUPPORT}, {nullptr, kSubmenuEnd}, {nullptr, 0}, {"&About", CMD_ABOUT},
};
const Item kTrayMenu[] = {
    {"&Open", CMD_OPEN}, {nullptr, 0}, {"&Cycle Now", CMD_CYCLE_NOW}, {"Re&sume", CMD_RESUME},
    {"S&uspend", CMD_SUSPEND}, {nullptr, 0}, {"O&ptions", CMD_OPTIONS}, {"&Read mail", CMD_READ_MAIL},
    {nullptr, 0}, {"&About", CMD_ABOUT}, {nullptr, 0}, {"&Exit", CMD_EXIT},
};

}  // namespace

QString actionName(const char* text) {
    QString name;
    bool wordStart = false;
    const QString words = QString::fromLatin1(text).remove(QLatin1Char('&'));
    for (QChar c : words) {
        if (c.isSpace()) {
            wordStart = !name.isEmpty();
            continue;
        }
        name += name.isEmpty() ? c.toLower() : wordStart ? c.toUpper() : c;
        wordStart = false;
    }
    return name;
}

void CommandActions::fill(QMenu* menu, const Item* items, std::size_t count) {
    QMenu* target = menu;
    for (std::size_t i = 0; i < count; ++i) {
        const Item& it = items[i];
        if (!it.text) {
            if (it.id == kSubmenuEnd) target = menu;
            else target->addSeparator();
            continue;
        }
        if (it.id == 0) {
            target = menu->addMenu(tr(it.text));
            continue;
        }
        QAction* a = target->addAction(tr(it.text));
        a->setData(it.id);
        a->setObjectName(actionName(it.text));
        if (it.grayed) a->setEnabled(false);
        actions_.emplace(it.id, a);
    }
    QObject::connect(menu, &QMenu::aboutToShow, [this] {
        if (onAboutToShow) onAboutToShow();
    });
}

void CommandActions::buildMainMenu(QMenuBar* bar) {
    fill(bar->addMenu(tr("&File")), kFileMenu, std::size(kFileMenu));
    fill(bar->addMenu(tr("&View")), kViewMenu, std::size(kViewMenu));
    fill(bar->addMenu(tr("&Accounts")), kAccountsMenu, std::size(kAccountsMenu));
    fill(bar->addMenu(tr("&Help")), kHelpMenu, std::size(kHelpMenu));
}

QMenu* CommandActions::buildTrayMenu() {
    auto* menu = new QMenu;
    menu->setObjectName(QStringLiteral("TARNWICKTRAY"));
    fill(menu, kTrayMenu, std::size(kTrayMenu));
    return menu;
}

void CommandActions::setEnabled(int id, bool enabled) {
    auto range = actions_.equal_range(id);
    for (auto it = range.first; it != range.second; ++it) it->second->setEnabled(enabled);
}

QAction* CommandActions::action(int id) const {
    auto it = actions_.find(id);
    return it == actions_.end() ? nullptr : it->second;
}
