// The Add Account Wizard's checks and what Finish creates, the Account properties sheet with
// its port, security and alternative client, Remove, and choosing the account whose e-mail
// program Read mail starts.
#include "frontend/settings/account_sheet.h"
#include "frontend/settings/account_wizard.h"
#include "frontend/dialogs/new_account_dialog.h"
#include "frontend/dialogs/select_account.h"
#include "tests/frontend/settings_fixture.h"
#include "tests/support/temp_env.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QRadioButton>
#include <QListWidget>
#include <QThread>
#include <QWizard>

#include <cstdlib>
#include <filesystem>
#include <tuple>

namespace {

namespace fs = std::filesystem;

constexpr char kEmptyTitle[] = "Please enter an account title or click Cancel to exit wizard.";
constexpr char kBadTitle[] = "Please don't include '@', '?', '*' or space characters in the account title.";
constexpr char kTitleExists[] = "An account with the title you have entered already exists.";
constexpr char kBadServer[] = "Please don't include '@', '?', '*' or space characters in the server name.";
constexpr char kMissing[] =
    "Please enter your POP3 account SERVER, USERNAME and PASSWORD. Click Cancel to exit from the wizard.";
constexpr char kPort[] = "Please enter a port number from 1 to 65535.";
using Texts = std::vector<std::string>;

class AccountsTest : public SettingsTest {
protected:
    void SetUp() override {
        SettingsTest::SetUp();
        // Two mail programs of a private desktop; "Quill Mail" handles mailto: by default.
        std::string root = testsupport::makeTempDir("desktop-");
        fs::create_directories(root + "/data/applications");
        testsupport::writeFile(root + "/data/applications/quill.desktop",
                               "[Desktop Entry]\nType=Application\nName=Quill Mail\nExec=quill --mail %u\n"
                               "MimeType=x-scheme-handler/mailto;\n");
        testsupport::writeFile(root + "/data/applications/post.desktop",
                               "[Desktop Entry]\nType=Application\nName=Post Office\nExec=post\n"
                               "Categories=Email;\n");
        testsupport::writeFile(root + "/data/applications/mimeapps.list",
                               "[Default Applications]\nx-scheme-handler/mailto=quill.desktop\n");
        save("XDG_DATA_HOME", root + "/data");
        save("XDG_DATA_DIRS", root + "/none");
        save("XDG_CONFIG_DIRS", root + "/none");
    }
    void TearDown() override {
        for (auto& [k, v] : saved) {
            if (v) ::setenv(k.c_str(), v->c_str(), 1);
            else ::unsetenv(k.c_str());
        }
        SettingsTest::TearDown();
    }
    void save(const std::string& k, const std::string& v) {
        const char* old = std::getenv(k.c_str());
        saved.emplace_back(k, old ? std::optional<std::string>(old) : std::nullopt);
        ::setenv(k.c_str(), v.c_str(), 1);
    }
    // A program that writes its argument into the file "launched".
    std::string launcher() {
        std::string script = testsupport::worldDir() + "/client.sh";
        testsupport::writeFile(script, "#!/bin/sh\necho \"$1\" > '" + testsupport::worldDir() + "/launched'\n");
        fs::permissions(script, fs::perms::owner_all);
        fs::remove(testsupport::worldDir() + "/launched");
        return script;
    }
    std::string launched() {
        std::string path = testsupport::worldDir() + "/launched";
        QElapsedTimer t;
        t.start();
        while (!fs::exists(path) && t.elapsed() < 5000) QThread::msleep(20);
        QThread::msleep(50);
        return fs::exists(path) ? testsupport::readFile(path) : std::string();
    }

    std::vector<std::pair<std::string, std::optional<std::string>>> saved;
};

QWizard& wizard(QDialog& d) {
    return dynamic_cast<QWizard&>(d);
}

// Next from the server page, and on past the outgoing and fetched-mail pages as they are and
// the server check, to the e-mail program's page.
void toClientPage(QWizard& w) {
    for (int i = 0; i < 4 && w.currentId() != 2; ++i) {
        // The check, and a sign-in before it, answers from the loop.
        if (w.currentPage()->objectName() == "checkPage") pumpUntil([&] { return w.currentPage()->isComplete(); });
        w.next();
    }
}

// The wizard as a test's dialog hook runs it: closed before the call returns.
bool runAddAccountWizard(QWidget* owner) {
    bool created = false;
    openAddAccountWizard(owner, [&](bool c) { created = c; });
    return created;
}

TEST_F(AccountsTest, TheTitlePageSaysWhatIsWrongWithATitle) {
    addAccount("home", "Quill Mail", "quill --mail");
    then([&](QDialog& d) {
        QWizard& w = wizard(d);
        EXPECT_EQ(w.windowTitle(), "Add Account Wizard");
        EXPECT_EQ(w.currentPage()->title(), "Add account wizard");
        QAbstractButton* next = w.button(QWizard::NextButton);
        EXPECT_FALSE(next->isEnabled());  // no title yet
        type(d, "accountTitle", "x");
        EXPECT_TRUE(next->isEnabled());
        struct Case {
            const char* title;
            Texts messages;
        } cases[] = {
            {"", {kEmptyTitle}}, {"my home", {kBadTitle}}, {"me@home", {kBadTitle}}, {"what?", {kBadTitle}},
            {"a*", {kBadTitle}}, {"home", {kTitleExists}}, {"HOME", {kTitleExists}},  // the registry would hand out the existing key
        };
        for (const Case& c : cases) {
            type(d, "accountTitle", c.title);
            w.next();
            EXPECT_EQ(takeBoxes(), c.messages) << c.title;
            EXPECT_EQ(w.currentId(), 0) << c.title;
        }
        EXPECT_EQ(boxes.size(), 0u);
        type(d, "accountTitle", "work");
        w.next();
        EXPECT_TRUE(takeBoxes().empty());
        EXPECT_EQ(w.currentId(), 1);
        press(d, "cancel");
        return d.result();
    });
    EXPECT_FALSE(runAddAccountWizard(nullptr));
    EXPECT_FALSE(accountPresent("work"));
}

TEST_F(AccountsTest, TheServerPageChecksInOrderAndKeepsTheServerInLowerCase) {
    then([&](QDialog& d) {
        QWizard& w = wizard(d);
        type(d, "accountTitle", "work");
        w.next();
        EXPECT_EQ(w.currentId(), 1);
        EXPECT_TRUE(w.button(QWizard::BackButton)->isEnabled());
        // Next waits for server, user name, password and a usable port.
        QAbstractButton* next = w.button(QWizard::NextButton);
        EXPECT_FALSE(next->isEnabled());
        for (auto [field, text, complete] : {std::tuple{"popServer", "pop", false},
                                             {"popUser", "jo", false},
                                             {"popPassword", "pw", true},
                                             {"popPort", "0", false},
                                             {"popPort", "995", true},
                                             {"popUser", "", false}}) {
            type(d, field, text);
            EXPECT_EQ(next->isEnabled(), complete) << field << "=" << text;
        }
        type(d, "popPort", "110");
        type(d, "popUser", "");
        type(d, "popPassword", "");
        type(d, "popServer", "pop server");
        w.next();
        EXPECT_EQ(takeBoxes(), (Texts{kBadServer, kMissing}));  // both, in this order
        type(d, "popUser", "jo");
        type(d, "popPassword", "pw");
        w.next();
        EXPECT_EQ(takeBoxes(), Texts{kBadServer});
        type(d, "popServer", "");
        w.next();
        EXPECT_EQ(takeBoxes(), Texts{kMissing});
        EXPECT_EQ(w.currentId(), 1);
        // Typing turns letters to lower case at once.
        auto* server = in<QLineEdit>(d, "popServer");
        server->setFocus();
        server->insert("POP.Example.NET");
        EXPECT_EQ(server->text(), "pop.example.net");
        EXPECT_EQ(in<QLineEdit>(d, "popPassword")->echoMode(), QLineEdit::Password);
        toClientPage(w);
        EXPECT_TRUE(takeBoxes().empty());
        EXPECT_EQ(w.currentId(), 2);
        // Back leaves the page as it is, and comes forward again.
        w.back();  // past the server check to the page on fetched mail, the last manual one
        w.back();
        EXPECT_EQ(w.currentPage()->objectName(), "fetchingPage");
        w.next();
        w.next();
        EXPECT_EQ(w.currentId(), 2);
        press(d, "finish");
        return d.result();
    });
    then([](QDialog& d) { return d.objectName() == "newAccountSettingsDialog" ? 1 : 0; });
    EXPECT_TRUE(runAddAccountWizard(nullptr));
    EXPECT_EQ(accountValue("work", "server"), "pop.example.net");
}

TEST_F(AccountsTest, FinishWithTheDefaultClientCreatesTheAccountAndItsMailbox) {
    std::string shownClient;
    then([&](QDialog& d) {
        QWizard& w = wizard(d);
        type(d, "accountTitle", "home");
        w.next();
        type(d, "popServer", "Pop.Example.Net");  // pasted: not typed, still stored in lower case
        type(d, "popUser", "jo");
        type(d, "popPassword", "pw");
        toClientPage(w);
        auto* client = in<QComboBox>(d, "emailProgram");
        EXPECT_EQ(client->count(), 2);
        EXPECT_EQ(client->itemText(0), "Post Office");  // sorted
        EXPECT_EQ(client->currentText(), "Quill Mail");  // the default, chosen
        EXPECT_FALSE(w.button(QWizard::NextButton)->isEnabled() && w.button(QWizard::NextButton)->isVisible());
        press(d, "finish");
        return d.result();
    });
    then([&](QDialog& d) {
        EXPECT_EQ(d.objectName(), "newAccountSettingsDialog");
        shownClient = d.findChild<QLabel*>("emailProgram")->text().toStdString();
        EXPECT_EQ(d.findChild<QLabel*>("userName")->text(), "home");
        // What e-mail programs propose and the local servers refuse is named.
        EXPECT_TRUE(d.findChild<QLabel*>("encryption")->text().startsWith("None"));
        EXPECT_EQ(d.findChild<QLabel*>("outLogin")->text(), "None");
        return 1;
    });
    EXPECT_TRUE(runAddAccountWizard(nullptr));
    EXPECT_EQ(shownClient, "Quill Mail");
    EXPECT_EQ(accountValue("home", "clientname"), "Quill Mail");
    EXPECT_EQ(accountValue("home", "clientfile"), "quill --mail");
    EXPECT_EQ(accountValue("home", "server"), "pop.example.net");
    EXPECT_EQ(accountValue("home", "user"), "jo");
    EXPECT_EQ(accountValue("home", "pass"), "pw");
    EXPECT_EQ(accountValue("home", "altclientfile"), "");
    EXPECT_EQ(accountValue("home", "destmailbox"), "jo@pop.example.net");
    EXPECT_EQ(accountValue("home", "uidlfile"), "jo@pop.example.net.uidl");
    EXPECT_EQ(accountValue("home", "dropdir"), "accounts/jo@pop.example.net/");
    EXPECT_EQ(accountNumber("home", "port"), 110u);
    EXPECT_EQ(accountNumber("home", "security"), std::nullopt);  // as before: absent reads as none
    EXPECT_TRUE(fs::is_directory(testsupport::worldDir() + "/accounts/jo@pop.example.net"));
}

// With OAuth 2.0 the password typed is what the e-mail program logs in to Tarnwick with: it is
// kept as the local password, and the provider's password stays empty.
TEST_F(AccountsTest, AWizardAccountThatSignsInWithOAuthKeepsTheTypedPasswordAsItsLocalOne) {
    useSignInStandIn();
    then([&](QDialog& d) {
        QWizard& w = wizard(d);
        type(d, "accountTitle", "cloud");
        w.next();
        type(d, "popServer", "pop.example.net");
        type(d, "popUser", "jo");
        type(d, "popPassword", "local pw");
        // A password log-in shows no provider or client id.
        EXPECT_TRUE(in<QComboBox>(d, "signInProvider")->isHidden());
        EXPECT_TRUE(in<QLineEdit>(d, "signInClientId")->isHidden());
        in<QComboBox>(d, "signInKind")->setCurrentIndex(1);
        EXPECT_FALSE(in<QComboBox>(d, "signInProvider")->isHidden());
        EXPECT_FALSE(in<QLineEdit>(d, "signInClientId")->isHidden());
        type(d, "signInClientId", "client-3");
        toClientPage(w);
        press(d, "finish");
        return d.result();
    });
    // The e-mail program logs in with the local password, and the dialog says so.
    then([](QDialog& d) {
        auto* note = d.findChild<QLabel*>(QStringLiteral("passwordNote"));
        EXPECT_TRUE(note && note->text().contains(QStringLiteral("local password")))
            << (note ? note->text().toStdString() : "");
        return d.objectName() == "newAccountSettingsDialog" ? 1 : 0;
    });
    EXPECT_TRUE(runAddAccountWizard(nullptr));
    EXPECT_EQ(accountValue("cloud", "pass"), "");
    EXPECT_EQ(accountValue("cloud", "localpass"), "local pw");
    EXPECT_EQ(accountNumber("cloud", "auth"), 1u);
    EXPECT_EQ(accountValue("cloud", "oauthrefresh"), "ref-1");  // signed in at the check
}

TEST_F(AccountsTest, TheServerPageProposesPop3PortsAndRefusesABadOne) {
    then([&](QDialog& d) {
        QWizard& w = wizard(d);
        type(d, "accountTitle", "secure");
        w.next();
        auto* security = in<QComboBox>(d, "popSecurity");
        auto* port = in<QLineEdit>(d, "popPort");
        EXPECT_EQ(security->currentText(), "None");
        EXPECT_EQ(port->text(), "110");
        for (auto [index, expected] : {std::pair{2, "995"}, {1, "110"}, {2, "995"}, {0, "110"}}) {
            security->setCurrentIndex(index);
            EXPECT_EQ(port->text(), expected) << index;
        }
        type(d, "popServer", "pop.example.net");
        type(d, "popUser", "jo");
        type(d, "popPassword", "pw");
        for (const char* bad : {"0", "", "70000"}) {
            type(d, "popPort", bad);
            w.next();
            EXPECT_EQ(takeBoxes(), Texts{kPort}) << bad;
            EXPECT_EQ(w.currentId(), 1) << bad;
        }
        type(d, "popPort", "1995");  // typed: kept whatever the security
        security->setCurrentIndex(2);
        EXPECT_EQ(port->text(), "1995");
        type(d, "popPort", "");
        security->setCurrentIndex(1);
        security->setCurrentIndex(2);
        EXPECT_EQ(port->text(), "995");
        toClientPage(w);
        EXPECT_EQ(w.currentId(), 2);
        press(d, "finish");
        return d.result();
    });
    then([](QDialog&) { return 1; });
    EXPECT_TRUE(runAddAccountWizard(nullptr));
    EXPECT_EQ(accountNumber("secure", "port"), 995u);
    EXPECT_EQ(accountNumber("secure", "security"), 2u);
    config::AccountRecord record = accountRecord("secure");
    EXPECT_EQ(record.security, 2u);
    EXPECT_EQ(record.port, 995u);
}

TEST_F(AccountsTest, TheAccountPageStoresPortAndSecurityOnlyWhenChanged) {
    addAccount("home", "Post Office", "post");
    // Untouched: neither is written (the account has no "security", and keeps none).
    then([&](QDialog& d) {
        EXPECT_EQ(in<QComboBox>(d, "popSecurity")->currentText(), "None");
        EXPECT_TRUE(in<QLineEdit>(d, "popPort")->isEnabled());
        press(d, "ok");
        return d.result();
    });
    then([](QDialog&) { return 1; });
    showAccountProperties(nullptr, 0);
    EXPECT_EQ(accountNumber("home", "security"), std::nullopt);
    EXPECT_EQ(accountNumber("home", "port"), 110u);

    then([&](QDialog& d) {
        auto* port = in<QLineEdit>(d, "popPort");
        for (const char* bad : {"0", "65536"}) {
            type(d, "popPort", bad);
            press(d, "ok");
            EXPECT_EQ(takeBoxes(), Texts{kPort}) << bad;
            EXPECT_EQ(d.result(), 0);
            tabsOf(d)->setCurrentIndex(1);
            EXPECT_EQ(takeBoxes(), Texts{kPort}) << bad;
            EXPECT_EQ(tabsOf(d)->currentIndex(), 0);
        }
        type(d, "popPort", "110");
        in<QComboBox>(d, "popSecurity")->setCurrentIndex(2);
        EXPECT_EQ(port->text(), "995");
        type(d, "popPassword", "changed");
        // Another tab and back: the changes are still there.
        tabsOf(d)->setCurrentIndex(1);
        tabsOf(d)->setCurrentIndex(0);
        EXPECT_EQ(port->text(), "995");
        EXPECT_EQ(in<QComboBox>(d, "popSecurity")->currentText(), "TLS");
        EXPECT_EQ(in<QLineEdit>(d, "popPassword")->text(), "changed");
        press(d, "ok");
        return d.result();
    });
    then([](QDialog&) { return 1; });
    showAccountProperties(nullptr, 0);
    EXPECT_EQ(accountNumber("home", "security"), 2u);
    EXPECT_EQ(accountNumber("home", "port"), 995u);
    EXPECT_EQ(accountValue("home", "pass"), "changed");

    // A port of its own survives a change of security; an unknown stored security shows as TLS
    // and is kept while untouched.
    plat::RegKey accounts;
    config::openAccountsKey(accounts);
    config::writeAccountDword(accounts, "home", "security", 9);
    config::writeAccountDword(accounts, "home", "port", 1100);
    then([&](QDialog& d) {
        EXPECT_EQ(in<QComboBox>(d, "popSecurity")->currentText(), "TLS");
        EXPECT_EQ(in<QLineEdit>(d, "popPort")->text(), "1100");
        press(d, "ok");
        return d.result();
    });
    then([](QDialog&) { return 1; });
    showAccountProperties(nullptr, 0);
    EXPECT_EQ(accountNumber("home", "security"), 9u);
    then([&](QDialog& d) {
        in<QComboBox>(d, "popSecurity")->setCurrentIndex(1);
        EXPECT_EQ(in<QLineEdit>(d, "popPort")->text(), "1100");
        press(d, "ok");
        return d.result();
    });
    then([](QDialog&) { return 1; });
    showAccountProperties(nullptr, 0);
    EXPECT_EQ(accountNumber("home", "security"), 1u);
    EXPECT_EQ(accountNumber("home", "port"), 1100u);
}

// Beside the security choice: a warning while no security is chosen for a server beyond this
// machine, on the wizard's server page and on the account page.
TEST_F(AccountsTest, PlainTextToAServerBeyondThisMachineIsWarnedOf) {
    then([&](QDialog& d) {
        QWizard& w = wizard(d);
        type(d, "accountTitle", "home");
        w.next();
        QWidget* page = w.currentPage();
        auto* warning = in<QLabel>(*page, "plainTextWarning");
        EXPECT_FALSE(warning->isVisibleTo(page));  // no server yet
        type(d, "popServer", "pop.example.net");
        EXPECT_TRUE(warning->isVisibleTo(page));
        if (screensDir()) saveScreen(d, "wizard-server-plain-text.png");
        in<QComboBox>(d, "popSecurity")->setCurrentIndex(1);
        EXPECT_FALSE(warning->isVisibleTo(page));
        in<QComboBox>(d, "popSecurity")->setCurrentIndex(0);
        type(d, "popServer", "127.0.0.2");
        EXPECT_FALSE(warning->isVisibleTo(page));
        press(d, "cancel");
        return d.result();
    });
    EXPECT_FALSE(runAddAccountWizard(nullptr));

    addAccount("home", "Post Office", "post");
    then([&](QDialog& d) {
        QWidget* page = tabsOf(d)->widget(0);
        auto* warning = in<QLabel>(*page, "plainTextWarning");
        EXPECT_TRUE(warning->isVisibleTo(page));
        in<QComboBox>(d, "popSecurity")->setCurrentIndex(2);
        EXPECT_FALSE(warning->isVisibleTo(page));
        press(d, "cancel");
        return d.result();
    });
    showAccountProperties(nullptr, 0);
}

TEST_F(AccountsTest, CancelOnTheLastPageStoresNothing) {
    then([&](QDialog& d) {
        QWizard& w = wizard(d);
        type(d, "accountTitle", "home");
        w.next();
        type(d, "popServer", "pop.example.net");
        type(d, "popUser", "cancelled");
        type(d, "popPassword", "pw");
        toClientPage(w);
        EXPECT_EQ(w.currentId(), 2);
        press(d, "cancel");
        return d.result();
    });
    EXPECT_FALSE(runAddAccountWizard(nullptr));
    EXPECT_EQ(dialogsShown, Texts{"wizard"});
    EXPECT_FALSE(accountPresent("home"));
    EXPECT_FALSE(fs::exists(testsupport::worldDir() + "/accounts/cancelled@pop.example.net"));
}

TEST_F(AccountsTest, AnAccountTheRegistryRefusesIsReportedNotAnnounced) {
    then([&](QDialog& d) {
        QWizard& w = wizard(d);
        type(d, "accountTitle", "home");
        w.next();
        type(d, "popServer", "pop.example.net");
        type(d, "popUser", "jo/../../x");  // would name a directory outside accounts/
        type(d, "popPassword", "pw");
        toClientPage(w);
        press(d, "finish");
        return d.result();
    });
    EXPECT_FALSE(runAddAccountWizard(nullptr));
    EXPECT_EQ(dialogsShown, Texts{"wizard"});  // no settings dialog for it
    EXPECT_EQ(takeBoxes(), Texts{"The account could not be created (refer to log file for further info)."});
    EXPECT_FALSE(accountPresent("home"));
}

TEST_F(AccountsTest, TheAccountSheetShowsTheAccountAndStoresWhatMayChange) {
    addAccount("home", "Post Office", "post");
    then([&](QDialog& d) {
        EXPECT_EQ(d.windowTitle(), "Account properties");
        EXPECT_EQ(tabsOf(d)->tabText(0), "Account");
        EXPECT_EQ(tabsOf(d)->tabText(1), "Advanced");
        EXPECT_EQ(in<QLineEdit>(*page(d, "accountPage"), "accountTitle")->text(), "home");
        EXPECT_EQ(in<QLineEdit>(d, "popServer")->text(), "pop.example.net");
        EXPECT_EQ(in<QLineEdit>(d, "popPort")->text(), "110");
        EXPECT_TRUE(in<QLineEdit>(d, "popUser")->isReadOnly());
        EXPECT_EQ(in<QLineEdit>(d, "popPassword")->text(), "secret");
        auto* client = in<QComboBox>(d, "emailProgram");
        EXPECT_EQ(client->currentText(), "Post Office");
        EXPECT_EQ(client->itemText(client->count() - 1), "(alternative client)");
        // No password: the page stays, silently, however the user tries to leave it, with the
        // cursor in the empty field.
        type(d, "popPassword", "");
        press(d, "ok");
        EXPECT_EQ(d.result(), 0);
        EXPECT_TRUE(takeBoxes().empty());
        EXPECT_EQ(d.focusWidget(), in<QLineEdit>(d, "popPassword"));
        tabsOf(d)->setCurrentIndex(1);
        EXPECT_TRUE(takeBoxes().empty());
        EXPECT_EQ(tabsOf(d)->currentIndex(), 0);
        type(d, "popPassword", "new secret");
        type(d, "emailAddress", "jo@example.net");
        type(d, "emailIdentity", "Jo Bloggs");
        client->setCurrentText("Quill Mail");
        tabsOf(d)->setCurrentIndex(1);
        QWidget* advanced = page(d, "advancedPage");
        EXPECT_EQ(in<QLineEdit>(*advanced, "accountTitle")->text(), "home");
        EXPECT_TRUE(in<QRadioButton>(*advanced, "removeAlways")->isChecked());
        EXPECT_TRUE(in<QRadioButton>(*advanced, "removeNever")->isEnabled());  // a real choice now
        press(d, "ok");
        return d.result();
    });
    then([](QDialog& d) {
        EXPECT_EQ(d.findChild<QLabel*>("emailProgram")->text(), "Quill Mail");
        return 1;
    });
    showAccountProperties(nullptr, 0);
    EXPECT_EQ(dialogsShown, (Texts{"sheet", "newAccountSettingsDialog"}));
    EXPECT_EQ(accountValue("home", "pass"), "new secret");
    EXPECT_EQ(accountValue("home", "emailaddress"), "jo@example.net");
    EXPECT_EQ(accountValue("home", "emailidentity"), "Jo Bloggs");
    EXPECT_EQ(accountValue("home", "clientname"), "Quill Mail");
    EXPECT_EQ(accountValue("home", "clientfile"), "quill --mail");
}

TEST_F(AccountsTest, TheAlternativeClientKeepsItsLineUnlessEdited) {
    addAccount("home", "Post Office", "post");
    plat::RegKey accounts;
    config::openAccountsKey(accounts);
    config::writeAccountString(accounts, "home", "altclientfile", "/opt/mymail -x");
    // Chosen in the list without editing: the stored line is the command line.
    then([&](QDialog& d) {
        in<QComboBox>(d, "emailProgram")->setCurrentText("(alternative client)");
        press(d, "ok");
        return d.result();
    });
    then([](QDialog&) { return 1; });  // the e-mail program's settings
    showAccountProperties(nullptr, 0);
    EXPECT_EQ(accountValue("home", "clientname"), "(alternative client)");
    EXPECT_EQ(accountValue("home", "clientfile"), "/opt/mymail -x");
    EXPECT_EQ(accountValue("home", "altclientfile"), "/opt/mymail -x");

    // Edited with "...": Browse quotes a path with a blank, and a cancelled Browse keeps what was
    // typed; Cancel in the dialog changes nothing.
    browsed = {"", "/opt/My Mail/mail"};
    then([&](QDialog& d) {
        in<QComboBox>(d, "emailProgram")->setCurrentText("Post Office");
        press(d, "alternativeClient");
        EXPECT_EQ(in<QComboBox>(d, "emailProgram")->currentText(), "Post Office");
        press(d, "alternativeClient");
        EXPECT_EQ(in<QComboBox>(d, "emailProgram")->currentText(), "(alternative client)");
        press(d, "ok");
        return d.result();
    });
    then([](QDialog& d) {
        EXPECT_EQ(d.objectName(), "alternativeClientDialog");
        EXPECT_EQ(in<QLineEdit>(d, "commandLine")->text(), "/opt/mymail -x");
        type(d, "commandLine", "something else");
        press(d, "cancel");
        return d.result();
    });
    then([](QDialog& d) {
        type(d, "commandLine", "typed line");
        press(d, "browseCommandLine");
        EXPECT_EQ(in<QLineEdit>(d, "commandLine")->text(), "typed line");
        press(d, "browseCommandLine");
        EXPECT_EQ(in<QLineEdit>(d, "commandLine")->text(), "'/opt/My Mail/mail'");
        press(d, "ok");
        return d.result();
    });
    then([](QDialog&) { return 1; });
    showAccountProperties(nullptr, 0);
    EXPECT_EQ(accountValue("home", "clientfile"), "'/opt/My Mail/mail'");
    EXPECT_EQ(accountValue("home", "altclientfile"), "'/opt/My Mail/mail'");
}

TEST_F(AccountsTest, NoAccountSelectedMeansNoSheet) {
    addAccount("home", "Post Office", "post");
    showAccountProperties(nullptr, -1);
    showAccountProperties(nullptr, 1);  // past the last account
    EXPECT_TRUE(dialogsShown.empty());
    EXPECT_FALSE(removeAccount(nullptr, -1));
    EXPECT_TRUE(boxes.empty());
}

TEST_F(AccountsTest, RemoveAsksFirstAndLeavesTheMailFiles) {
    addAccount("home", "Post Office", "post", "jo", "pop.example.net");
    std::string item = testsupport::worldDir() + "/accounts/jo@pop.example.net/[home]1.rfc822";
    testsupport::writeFile(item, "Subject: kept\r\n\r\n");
    answers = {QMessageBox::No};
    EXPECT_FALSE(removeAccount(nullptr, 0));
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Confirm that you wish to remove account 'home'.\nClick YES to remove.");
    EXPECT_EQ(boxes[0].caption, "Tarnwick - Account Removal");
    EXPECT_EQ(boxes[0].buttons, QMessageBox::Yes | QMessageBox::No);
    EXPECT_TRUE(accountPresent("home"));
    answers = {QMessageBox::Yes};
    EXPECT_TRUE(removeAccount(nullptr, 0));
    EXPECT_FALSE(accountPresent("home"));
    EXPECT_TRUE(fs::exists(item));
}

TEST_F(AccountsTest, ReadMailAsksOnlyWhenTheAccountsUseDifferentClients) {
    std::string client = launcher();
    readMail(nullptr);  // no account: nothing
    EXPECT_TRUE(dialogsShown.empty());

    addAccount("home", "Quill Mail", client + " home", "jo");
    addAccount("work", "Quill Mail", client + " work", "jw");
    readMail(nullptr);
    EXPECT_TRUE(dialogsShown.empty());
    EXPECT_EQ(launched(), "home\n");

    plat::RegKey accounts;
    config::openAccountsKey(accounts);
    config::writeAccountString(accounts, "work", "clientname", "Post Office");
    client = launcher();
    then([&](QDialog& d) {
        EXPECT_EQ(d.windowTitle(), "Select account");
        EXPECT_EQ(d.findChild<QLabel*>("prompt")->text(), "Select account whose mail you wish to read:");
        auto* list = in<QListWidget>(d, "accountList");
        EXPECT_EQ(list->count(), 2);
        EXPECT_EQ(list->item(0)->text(), "home (Quill Mail)");
        EXPECT_EQ(list->item(1)->text(), "work (Post Office)");
        list->setCurrentRow(1);
        press(d, "select");
        return d.result();
    });
    readMail(nullptr);
    EXPECT_EQ(launched(), "work\n");

    // Cancel, or Select with nothing selected: no account, nothing started.
    client = launcher();
    then([](QDialog& d) {
        press(d, "cancel");
        return d.result();
    });
    then([](QDialog& d) {
        press(d, "select");
        return d.result();
    });
    for (int i = 0; i < 2; ++i) {
        int chosen = 99;
        selectAccount(nullptr, "x", [&](int index) { chosen = index; });
        EXPECT_EQ(chosen, -1) << i;
    }
}

// The dialog opens without a loop of its own: the answer comes once it closes, and a second
// request while it is open brings it to the front instead of opening another.
TEST_F(AccountsTest, SelectAccountAnswersOnceItsDialogCloses) {
    addAccount("home", "Quill Mail", "quill home", "jo");
    addAccount("work", "Post Office", "post work", "jw");
    setModalHook({});
    auto shown = [] {
        std::vector<QDialog*> dialogs;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->objectName() == "selectAccountDialog" && w->isVisible()) dialogs.push_back(static_cast<QDialog*>(w));
        return dialogs;
    };
    std::vector<int> answers;
    selectAccount(nullptr, "x", [&](int index) { answers.push_back(index); });
    ASSERT_EQ(shown().size(), 1u);
    EXPECT_TRUE(answers.empty());
    selectAccount(nullptr, "x", [&](int index) { answers.push_back(100 + index); });
    ASSERT_EQ(shown().size(), 1u);
    QDialog* dialog = shown()[0];
    in<QListWidget>(*dialog, "accountList")->setCurrentRow(1);
    press(*dialog, "select");
    EXPECT_EQ(answers, std::vector<int>{1});
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(shown().empty());
    selectAccount(nullptr, "x", [&](int index) { answers.push_back(index); });  // a fresh one opens
    ASSERT_EQ(shown().size(), 1u);
    press(*shown()[0], "cancel");
    EXPECT_EQ(answers, (std::vector<int>{1, -1}));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

}  // namespace

namespace {

// With TARNWICK_SCREENS_DIR set, the account sheet's pages, the alternative client dialog,
// Select account and the wizard's server page are rendered into PNG files there.
TEST_F(AccountsTest, DialogsAreRenderedForReviewWhenAsked) {
    if (!screensDir()) GTEST_SKIP() << "TARNWICK_SCREENS_DIR not set";
    addAccount("home", "Quill Mail", "quill --mail", "jo");
    addAccount("work", "Post Office", "post", "jw", "mail.example.org");
    then([&](QDialog& d) {
        type(d, "emailAddress", "jo@example.net");
        type(d, "emailIdentity", "Jo Bloggs");
        in<QComboBox>(d, "popSecurity")->setCurrentIndex(2);
        saveScreen(d, "account-1-account.png");
        press(d, "alternativeClient");
        tabsOf(d)->setCurrentIndex(1);
        saveScreen(d, "account-2-advanced.png");
        d.hide();
        return 0;
    });
    then([&](QDialog& d) {
        type(d, "commandLine", "/opt/mymail/bin/mymail --profile home");
        saveScreen(d, "account-3-alternative-client.png");
        d.hide();
        return 0;
    });
    showAccountProperties(nullptr, 0);
    then([&](QDialog& d) {
        saveScreen(d, "read-mail-select-account.png");
        d.hide();
        return 0;
    });
    selectAccount(nullptr, "Select account whose mail you wish to read:", [](int) {});
    then([&](QDialog& d) {
        QWizard& w = wizard(d);
        type(d, "accountTitle", "secure");
        w.next();
        type(d, "popServer", "pop.example.net");
        in<QComboBox>(d, "popSecurity")->setCurrentIndex(1);
        type(d, "popUser", "jo");
        type(d, "popPassword", "secret");
        saveScreen(d, "wizard-server-starttls.png");
        d.hide();
        return 0;
    });
    runAddAccountWizard(nullptr);
    then([&](QDialog& d) {
        saveScreen(d, "new-account-settings.png");
        d.hide();
        return 0;
    });
    showNewAccountSettings(nullptr, "Claws Mail", "claws-mail", "home", false);
}

}  // namespace
