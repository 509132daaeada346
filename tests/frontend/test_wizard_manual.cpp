// The wizard's manual pages beyond the incoming log-in: the protocol, the outgoing server and
// what becomes of fetched mail, driven as a user would; the values read back through the
// engine's own readers, and nothing written that the engine would read anyway.
#include "frontend/settings/account_wizard.h"
#include "frontend/settings/found_account.h"
#include "frontend/settings/wizard_check_page.h"
#include "platform/secret_store.h"
#include "secrets/secret_settings.h"
#include "smtp/outgoing_accounts.h"
#include "tests/frontend/settings_fixture.h"
#include "tests/support/private_keyring.h"

#include <QCheckBox>
#include <QLabel>
#include <QRadioButton>
#include <QSpinBox>
#include <QWizard>

#include <optional>
#include <string>
#include <vector>

namespace {

using Texts = std::vector<std::string>;

std::string currentPage(QWizard& w) {
    return w.currentPage()->objectName().toStdString();
}

class WizardManualTest : public SettingsTest {
protected:
    // The wizard through its title page, the manual way; script goes on from the server page,
    // and the e-mail program's settings that follow Finish are accepted.
    bool run(const std::function<void(QWizard&)>& script, const QString& address = {}, bool finished = true) {
        then([&](QDialog& d) {
            auto& w = dynamic_cast<QWizard&>(d);
            type(d, "accountTitle", "work");
            type(d, "emailAddress", address);
            in<QCheckBox>(d, "manualSetup")->setChecked(true);
            w.next();
            EXPECT_EQ(currentPage(w), "serverPage");
            script(w);
            return d.result();
        });
        if (finished) then([](QDialog& d) { return d.objectName() == "newAccountSettingsDialog" ? 1 : 0; });
        bool created = false;
        openAddAccountWizard(nullptr, [&](bool c) { created = c; });
        return created;
    }
    static void login(QWizard& w, const char* server) {
        type(w, "popServer", server);
        type(w, "popUser", "jo");
        type(w, "popPassword", "pop-pw");
    }
    // Next, expected to reach the page named.
    static void next(QWizard& w, const char* page) {
        w.next();
        EXPECT_EQ(currentPage(w), page);
    }
    // On past the server check (all well at once, as the fixture answers) to Finish.
    static void finish(QWizard& w) {
        next(w, "checkPage");
        next(w, "clientPage");
        press(w, "finish");
    }
};

TEST_F(WizardManualTest, AnImapAccountLeavesItsMailForDaysAndFetchesTheFoldersGiven) {
    EXPECT_TRUE(run(
        [&](QWizard& w) {
            auto* protocol = in<QComboBox>(w, "protocol");
            EXPECT_EQ(protocol->currentText(), "POP3");
            protocol->setCurrentIndex(1);
            EXPECT_EQ(in<QComboBox>(w, "popSecurity")->currentText(), "TLS");
            EXPECT_EQ(in<QSpinBox>(w, "popPort")->value(), 993);
            login(w, "imap.example.net");
            next(w, "outgoingPage");
            EXPECT_TRUE(in<QRadioButton>(w, "sameOutgoingServer")->isChecked());
            EXPECT_EQ(in<QLineEdit>(w, "addresses")->placeholderText(), "jo@example.net");
            next(w, "fetchingPage");
            QWidget& page = *w.currentPage();
            EXPECT_FALSE(in<QWidget>(page, "imapFolders")->isHidden());
            EXPECT_TRUE(in<QRadioButton>(page, "removeAlways")->isChecked());
            type(page, "imapFolders", " INBOX, Lists/dev ");
            in<QRadioButton>(page, "removeLater")->setChecked(true);
            in<QSpinBox>(page, "removeAfterDays")->setValue(30);
            // Moved into a folder that is fetched, mail would come again: refused, the page stays.
            type(page, "moveFolder", "Lists/dev");
            next(w, "fetchingPage");
            EXPECT_EQ(takeBoxes(), Texts{"Mail cannot be moved to \"Lists/dev\": that folder is fetched too, so its "
                                         "mail would be fetched again. Please choose another folder."});
            EXPECT_EQ(w.focusWidget(), in<QLineEdit>(page, "moveFolder"));
            type(page, "moveFolder", "Archive");
            finish(w);
        },
        "jo@example.net"));
    config::AccountRecord r = accountRecord("work");
    EXPECT_EQ(r.protocol, config::kProtocolImap);
    EXPECT_EQ(r.server, "imap.example.net");
    EXPECT_EQ(r.port, 993u);
    EXPECT_EQ(r.security, 2u);
    EXPECT_EQ(r.imapFolders, "INBOX, Lists/dev");
    EXPECT_EQ(r.leaveMail, config::kLeaveMailForDays);
    EXPECT_EQ(r.leaveDays, 30u);
    EXPECT_EQ(r.moveFolder, "Archive");
    EXPECT_EQ(accountValue("work", "pass"), "pop-pw");
    EXPECT_EQ(accountValue("work", "emailaddress"), "jo@example.net");
    // The server for all accounts: nothing of an own one, and no addresses but the account's.
    EXPECT_EQ(accountRoute("work").server, "");
    EXPECT_EQ(accountNumber("work", "smtpport"), std::nullopt);
    EXPECT_EQ(accountValue("work", "addresses"), "");
    EXPECT_TRUE(takeBoxes().empty());
}

TEST_F(WizardManualTest, AnOwnOutgoingServerIsStoredAndAnEmptyOneOrABadPortKeepsThePage) {
    std::vector<autoconfig::ProbeTarget> checked;
    check::setStartHook([&](const autoconfig::ProbeTarget& t, check::Answer answer) {
        checked.push_back(t);
        autoconfig::ProbeReport report;
        report.steps.push_back({"connect", true, "", 0});
        answer(report);
    });
    EXPECT_TRUE(run([&](QWizard& w) {
        // Plain IMAP on a server of this machine: the security the engine would not take for
        // granted is stored.
        in<QComboBox>(w, "protocol")->setCurrentIndex(1);
        in<QComboBox>(w, "popSecurity")->setCurrentIndex(0);
        EXPECT_EQ(in<QSpinBox>(w, "popPort")->value(), 143);
        login(w, "127.0.0.1");
        next(w, "outgoingPage");
        QWidget& page = *w.currentPage();
        in<QRadioButton>(page, "ownOutgoingServer")->setChecked(true);
        // The log-in is proposed from the incoming one, with STARTTLS on its port.
        EXPECT_EQ(in<QLineEdit>(page, "accountSmtpUser")->text(), "jo");
        EXPECT_EQ(in<QLineEdit>(page, "accountSmtpPassword")->text(), "pop-pw");
        EXPECT_EQ(in<QComboBox>(page, "accountSmtpSecurity")->currentText(), "STARTTLS");
        EXPECT_EQ(in<QSpinBox>(page, "accountSmtpPort")->value(), 587);
        // No OAuth 2.0 sign-in for the incoming server: none to choose here.
        EXPECT_TRUE(in<QComboBox>(page, "accountSmtpAuth")->isHidden());
        next(w, "outgoingPage");
        EXPECT_EQ(takeBoxes(), Texts{"Please enter the name of this account's own outgoing mail server, or choose "
                                     "the same server as for all accounts."});
        EXPECT_EQ(w.focusWidget(), in<QLineEdit>(page, "accountSmtpServer"));
        type(page, "accountSmtpServer", "SMTP.Example.NET");
        type(page, "accountSmtpPort", "0");
        next(w, "outgoingPage");
        EXPECT_EQ(takeBoxes(), Texts{"Please enter a port number from 1 to 65535."});
        type(page, "accountSmtpPort", "2525");
        type(page, "accountSmtpUser", "jo@example.net");
        type(page, "addresses", "jo@example.net *@example.org");
        next(w, "fetchingPage");
        in<QRadioButton>(w, "removeNever")->setChecked(true);
        // Back and forth keeps what was chosen.
        w.back();
        EXPECT_EQ(in<QLineEdit>(page, "accountSmtpServer")->text(), "SMTP.Example.NET");
        next(w, "fetchingPage");
        finish(w);
    }));
    config::AccountRecord r = accountRecord("work");
    EXPECT_EQ(r.protocol, config::kProtocolImap);
    EXPECT_EQ(r.port, 143u);
    EXPECT_EQ(r.security, 0u);
    EXPECT_EQ(r.leaveMail, config::kLeaveMailKeep);
    EXPECT_EQ(accountNumber("work", "leavedays"), std::nullopt);
    expectRoute({.account = "work",
                 .addresses = {"jo@example.net", "*@example.org"},
                 .server = "smtp.example.net",
                 .port = 2525,
                 .security = 1,
                 .user = "jo@example.net"});
    EXPECT_EQ(accountValue("work", "smtppass"), "pop-pw");
    EXPECT_TRUE(takeBoxes().empty());
    // The check before Finish tried the servers as the pages gave them.
    ASSERT_EQ(checked.size(), 2u);
    EXPECT_EQ(checked[0].protocol, autoconfig::Protocol::Imap);
    EXPECT_EQ(checked[0].host, "127.0.0.1");
    EXPECT_EQ(checked[0].port, 143);
    EXPECT_EQ(checked[1].host, "smtp.example.net");
    EXPECT_EQ(checked[1].port, 2525);
    EXPECT_EQ(checked[1].user, "jo@example.net");
}

// An account made as before IMAP and per-account outgoing servers were there reads exactly as
// it did: none of their values is written.
TEST_F(WizardManualTest, APop3AccountLeftAloneWritesNoNewValues) {
    EXPECT_TRUE(run([&](QWizard& w) {
        login(w, "pop.example.net");
        next(w, "outgoingPage");
        next(w, "fetchingPage");
        EXPECT_TRUE(in<QWidget>(w, "imapFolders")->isHidden());
        EXPECT_TRUE(in<QWidget>(w, "moveFolder")->isHidden());
        finish(w);
    }));
    EXPECT_EQ(accountNumber("work", "port"), 110u);
    for (const char* v : {"security", "protocol", "leavemail", "leavedays", "smtpport", "smtpsecurity", "smtpauth"})
        EXPECT_EQ(accountNumber("work", v), std::nullopt) << v;
    for (const char* v : {"imapfolders", "movefolder", "smtpserver", "smtpuser", "smtppass", "addresses"})
        EXPECT_EQ(accountValue("work", v), "") << v;
}

// The set-up from an address writes the same: plain IMAP found for a server stays plain, not the
// TLS an IMAP account without a security is read with.
TEST_F(WizardManualTest, PlainImapFoundByTheLookUpIsStoredAsPlain) {
    found::Plan plan;
    plan.address = "jo@example.test";
    plan.protocol = config::kProtocolImap;
    plan.server = "127.0.0.1";
    plan.port = 143;
    plan.user = "jo";
    ASSERT_EQ(found::writePlan(plan, "work", "Quill Mail", "quill", {"pw", false, {}}), found::Written::Done);
    config::AccountRecord r = accountRecord("work");
    EXPECT_EQ(r.protocol, config::kProtocolImap);
    EXPECT_EQ(r.security, 0u);
    EXPECT_EQ(r.port, 143u);
}

// With OAuth 2.0 for the incoming server, the own outgoing server may sign in the same way,
// and the local password typed is not taken for the provider's.
TEST_F(WizardManualTest, AnOAuthAccountOffersItsSignInForItsOwnOutgoingServer) {
    useSignInStandIn();
    EXPECT_TRUE(run([&](QWizard& w) {
        login(w, "pop.example.net");
        in<QComboBox>(w, "signInKind")->setCurrentIndex(1);
        type(w, "signInClientId", "client-3");
        next(w, "outgoingPage");
        QWidget& page = *w.currentPage();
        in<QRadioButton>(page, "ownOutgoingServer")->setChecked(true);
        EXPECT_FALSE(in<QComboBox>(page, "accountSmtpAuth")->isHidden());
        EXPECT_EQ(in<QComboBox>(page, "accountSmtpAuth")->currentIndex(), 1);
        EXPECT_EQ(in<QLineEdit>(page, "accountSmtpPassword")->text(), "");
        type(page, "accountSmtpServer", "smtp.example.net");
        next(w, "fetchingPage");
        next(w, "checkPage");  // the sign-in first, then the servers
        EXPECT_TRUE(pumpUntil([&] { return w.button(QWizard::NextButton)->isEnabled(); }));
        next(w, "clientPage");
        press(w, "finish");
    }));
    EXPECT_EQ(accountValue("work", "oauthrefresh"), "ref-1");
    EXPECT_EQ(accountValue("work", "oauthclientid"), "client-3");
    EXPECT_EQ(accountNumber("work", "smtpauth"), 1u);
    EXPECT_EQ(accountValue("work", "smtppass"), "");
    EXPECT_EQ(accountValue("work", "localpass"), "pop-pw");
}

// Where the desktop's secret store is ready, the account's secrets go there, the outgoing
// password with them; user.reg never sees it.
TEST_F(WizardManualTest, TheOutgoingPasswordGoesToTheSecretStoreWithTheAccounts) {
    if (!testsupport::PrivateKeyring::available()) GTEST_SKIP() << "needs dbus-daemon, gnome-keyring and gdbus";
    testsupport::PrivateKeyring keyring;
    ASSERT_TRUE(keyring.start()) << "the private keyring did not start";
    EXPECT_TRUE(run([&](QWizard& w) {
        login(w, "pop.example.net");
        next(w, "outgoingPage");
        in<QRadioButton>(w, "ownOutgoingServer")->setChecked(true);
        type(w, "accountSmtpServer", "smtp.example.net");
        type(w, "accountSmtpPassword", "out-pw");
        next(w, "fetchingPage");
        finish(w);
    }));
    EXPECT_EQ(plat::lookupSecret("work", plat::SecretKind::SmtpPass).secret, "out-pw");
    EXPECT_EQ(plat::lookupSecret("work", plat::SecretKind::Password).secret, "pop-pw");
    EXPECT_EQ(config::readSecretValue(config::targetKeyPath("work"), "smtppass"), "");
}

// With TARNWICK_SCREENS_DIR set, the manual pages of an IMAP account with a server of its own
// are rendered into PNG files there.
TEST_F(WizardManualTest, ThePagesAreRenderedForReviewWhenAsked) {
    if (!screensDir()) GTEST_SKIP() << "TARNWICK_SCREENS_DIR not set";
    run(
        [&](QWizard& w) {
            in<QComboBox>(w, "protocol")->setCurrentIndex(1);
            login(w, "imap.example.net");
            saveScreen(w, "wizard-manual-1-incoming.png");
            next(w, "outgoingPage");
            saveScreen(w, "wizard-manual-2-outgoing-same.png");
            in<QRadioButton>(w, "ownOutgoingServer")->setChecked(true);
            type(w, "accountSmtpServer", "smtp.example.net");
            type(w, "addresses", "jo@example.net, *@example.org");
            saveScreen(w, "wizard-manual-3-outgoing-own.png");
            next(w, "fetchingPage");
            type(w, "imapFolders", "INBOX, Lists/dev");
            in<QRadioButton>(w, "removeLater")->setChecked(true);
            type(w, "moveFolder", "Archive");
            saveScreen(w, "wizard-manual-4-fetching-imap.png");
            w.back();
            w.back();
            in<QComboBox>(w, "protocol")->setCurrentIndex(0);
            next(w, "outgoingPage");
            next(w, "fetchingPage");
            saveScreen(w, "wizard-manual-5-fetching-pop3.png");
            w.hide();
        },
        "jo@example.net", false);
}

}  // namespace
