// The front end under LANG=de_DE.UTF-8 (this program's environment): the catalogue built with
// the program is found beside it and speaks German in the menus, the Options sheet and the
// wizard, down to Qt's own buttons where Qt's translations are installed.
#include "frontend/app/menus.h"
#include "frontend/app/translation.h"
#include "frontend/desktop/desktop.h"
#include "frontend/dialogs/mail_dialogs.h"
#include "frontend/dialogs/modal.h"
#include "frontend/mail/log_viewer.h"
#include "frontend/settings/account_wizard.h"
#include "frontend/settings/check_words.h"
#include "frontend/settings/options_pages.h"
#include "frontend/settings/prop_sheet.h"

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTabWidget>
#include <QWizard>

#include <gtest/gtest.h>

namespace {

QStringList actionTexts(const QList<QAction*>& actions) {
    QStringList out;
    for (QAction* a : actions)
        if (!a->isSeparator()) out << a->text();
    return out;
}

TEST(German, MenusOptionsAndWizardSpeakTheUsersLanguage) {
    ASSERT_EQ(QLocale::system().language(), QLocale::German)
        << "run with LANG=de_DE.UTF-8 and no LC_ALL; LANG=" << qgetenv("LANG").toStdString()
        << " LC_ALL=" << qgetenv("LC_ALL").toStdString();
    ASSERT_TRUE(installTranslations(*qApp, QLocale::system(), QStringLiteral(TW_BIN_DIR)));

    CommandActions actions;
    QMenuBar bar;
    actions.buildMainMenu(&bar);
    EXPECT_EQ(actionTexts(bar.actions()).join(QLatin1Char('|')), "&Datei|&Ansicht|&Konten|&Hilfe");
    std::unique_ptr<QMenu> tray(actions.buildTrayMenu());
    EXPECT_EQ(actionTexts(tray->actions()).join(QLatin1Char('|')),
              "&Öffnen|&Jetzt abgleichen|&Fortsetzen|&Anhalten|&Einstellungen|E-Mail &lesen|&Über|&Beenden");

    QStringList shown;
    setMessageBoxHook([](const MessageBoxRequest&) { return QMessageBox::Ok; });
    setModalHook([&](QDialog& d) {
        shown << d.windowTitle();
        if (auto* tabs = d.findChild<QTabWidget*>(QStringLiteral("tabs"))) {
            for (int i = 0; i < tabs->count(); ++i) shown << tabs->tabText(i);
            for (QLabel* l : tabs->widget(0)->findChildren<QLabel*>())
                if (l->text() == QStringLiteral("&SMTP-Server:")) shown << l->text();
        }
        if (auto* wizard = qobject_cast<QWizard*>(&d)) {
            shown << wizard->currentPage()->title();
            for (QLabel* l : wizard->currentPage()->findChildren<QLabel*>())
                if (l->text() == QStringLiteral("Konto&titel:")) shown << l->text();
        }
        return 0;
    });
    newOptionsSheet(nullptr, {}, nullptr)->start();
    openAddAccountWizard(nullptr);
    setModalHook({});
    setMessageBoxHook({});
    EXPECT_EQ(shown.join(QLatin1Char('|')),
              "Tarnwick-Einstellungen|Verbindung|Zeitplan|Benachrichtigungen|&SMTP-Server:|"
              "Konto-Assistent|Assistent zum Hinzufügen eines Kontos|Konto&titel:");

    // The log window names its day as German writes it; the failure notice offers the log.
    views::LogViewer log(QStringLiteral("/nonexistent/20261208.log"), QDate(2026, 12, 8));
    EXPECT_EQ(log.windowTitle(), QStringLiteral("Tarnwick-Protokoll \u2013 8. Dezember 2026"));
    DeliveryFailureDialog notice(nullptr, "/nonexistent/1.rfc822");
    auto* openLog = notice.findChild<QPushButton*>(QStringLiteral("openLog"));
    ASSERT_NE(openLog, nullptr);
    EXPECT_EQ(openLog->text(), QStringLiteral("&Protokoll öffnen"));
    // The notice's header labels and the provider's reply.
    std::vector<std::string> lines = deliveryFailureLines("/nonexistent/1.rfc822", "550 no such user\r\n");
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[0], "Datum: -");
    EXPECT_EQ(lines[1], "Von: -");
    EXPECT_EQ(lines[2], "An: -");
    EXPECT_EQ(lines[3], "Betreff: -");
    EXPECT_EQ(lines[5], "Antwort: 550 no such user");

    // The wizard's server check says what failed in German, the provider's note as it came.
    autoconfig::ProbeReport refused;
    refused.steps.push_back({"login", false, "the server refused the password: -ERR", 1});
    refused.loginFailure = autoconfig::LoginFailure::PasswordRefused;
    autoconfig::ProbeTarget target;
    target.user = "ann";
    EXPECT_EQ(check::failureWords(refused, target, "app password needed").toStdString(),
              "Der Server hat das Passwort für ann abgelehnt. Dieser Anbieter verlangt ein App-Passwort: app "
              "password needed.");
}

}  // namespace
