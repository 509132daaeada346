// How an account fetches its mail and where its outgoing mail goes, on the account sheet: the
// values as the engine reads them back (its own readers), the checks, the port that follows
// the protocol, and the Advanced and Outgoing pages driven as a user would.
#include "frontend/settings/account_sheet.h"
#include "frontend/settings/outgoing_values.h"
#include "frontend/settings/retrieval_values.h"
#include "frontend/settings/settings_model.h"
#include "frontend/settings/validation.h"
#include "platform/secret_store.h"
#include "secrets/secret_moves.h"
#include "secrets/secret_settings.h"
#include "smtp/outgoing_accounts.h"
#include "tests/frontend/settings_fixture.h"
#include "tests/support/private_keyring.h"

#include <QFormLayout>
#include <QLabel>
#include <QRadioButton>
#include <QSpinBox>

#include <optional>
#include <string>

namespace {

using Texts = std::vector<std::string>;

// Whether the widget is shown in its form (a hidden row hides its field).
bool shown(QWidget& d, const char* name) {
    return !in<QWidget>(d, name)->isHidden();
}

class AccountMailTest : public SettingsTest {
protected:
    // OK on the sheet, and the e-mail program's settings dialog that follows it.
    void pressOk(QDialog& d) {
        press(d, "ok");
        EXPECT_EQ(d.result(), 1);
    }
    void runSheet(Script script) {
        then(std::move(script));
        then([](QDialog&) { return 1; });
        showAccountProperties(nullptr, 0);
    }
};

TEST_F(AccountMailTest, ValuesLeftAloneWriteNothingAndChangedOnesReadBackAsTheEngineReadsThem) {
    addAccount("home", "Post Office", "post", "jo", "mail.example.net");
    {
        SettingsModel model(SettingsModel::account(kAccountsKey, "home"));
        RetrievalValues r = RetrievalValues::read(model);
        EXPECT_EQ(r, RetrievalValues{});  // POP3, INBOX, delete
        OutgoingValues o = OutgoingValues::read(model);
        EXPECT_FALSE(o.ownServer());
        EXPECT_EQ(o.port, 25u);
        r.write(model, r);
        o.write(model, o);
        EXPECT_TRUE(model.store());
    }
    for (const char* v : {"protocol", "imapfolders", "leavemail", "leavedays", "movefolder", "smtpserver", "smtpport",
                          "smtpsecurity", "smtpauth"})
        EXPECT_EQ(accountNumber("home", v), std::nullopt) << v;
    EXPECT_EQ(accountValue("home", "addresses"), "");

    {
        SettingsModel model(SettingsModel::account(kAccountsKey, "home"));
        RetrievalValues before = RetrievalValues::read(model), r = before;
        r.protocol = config::kProtocolImap;
        r.folders = "INBOX, Lists/dev";
        r.leaveMail = config::kLeaveMailForDays;
        r.leaveDays = 30;
        r.moveFolder = "Archive";
        r.write(model, before);
        OutgoingValues was = OutgoingValues::read(model), o = was;
        o.server = "smtp.example.net";
        o.security = 1;
        o.port = 587;
        o.user = "jo@example.net";
        o.password = "out-pw";
        o.addresses = joinedAddresses("jo@example.net; *@example.org");
        o.write(model, was);
        EXPECT_TRUE(model.store());
    }
    config::AccountRecord rec = accountRecord("home");
    EXPECT_EQ(rec.protocol, config::kProtocolImap);
    EXPECT_EQ(rec.imapFolders, "INBOX, Lists/dev");
    EXPECT_EQ(rec.leaveMail, config::kLeaveMailForDays);
    EXPECT_EQ(rec.leaveDays, 30u);
    EXPECT_EQ(rec.moveFolder, "Archive");
    EXPECT_EQ(rec.security, 2u);  // none stored: IMAP reads TLS
    expectRoute({.account = "home",
                 .addresses = {"jo@example.net", "*@example.org"},
                 .server = "smtp.example.net",
                 .port = 587,
                 .security = 1,
                 .user = "jo@example.net"});
    EXPECT_EQ(accountValue("home", "smtppass"), "out-pw");  // no secret store here: user.reg
    EXPECT_EQ(outgoing::routeFor({accountRoute("home")}, "<Jo+lists@Example.NET>"), 0);

    // The same server for all accounts empties the server alone; the rest waits.
    {
        SettingsModel model(SettingsModel::account(kAccountsKey, "home"));
        OutgoingValues was = OutgoingValues::read(model), o = was;
        EXPECT_EQ(o.port, 587u);
        o.server.clear();
        o.write(model, was);
        EXPECT_TRUE(model.store());
    }
    EXPECT_EQ(accountRoute("home").server, "");
    EXPECT_EQ(accountNumber("home", "smtpport"), 587u);
}

TEST_F(AccountMailTest, AListOfAddressesLongerThanOtherValuesIsReadWholeAndKept) {
    addAccount("home", "Post Office", "post");
    std::string list;
    for (int i = 0; list.size() < 400; ++i)
        list += (list.empty() ? "" : ", ") + ("person" + std::to_string(i) + "@example.net");
    plat::RegKey accounts;
    config::openAccountsKey(accounts);
    config::writeAccountString(accounts, "home", "addresses", list);
    SettingsModel model(SettingsModel::account(kAccountsKey, "home"));
    EXPECT_EQ(OutgoingValues::read(model).addresses, list);
}

TEST_F(AccountMailTest, TheChecksSayWhatIsWrongAndWhere) {
    using validation::AccountField;
    struct RetrievalCase {
        RetrievalValues v;
        AccountField field;
        std::string argument;
    };
    RetrievalValues imap;
    imap.protocol = config::kProtocolImap;
    auto with = [](RetrievalValues v, auto change) {
        change(v);
        return v;
    };
    const RetrievalCase retrieval[] = {
        {RetrievalValues{}, AccountField::None, ""},
        {imap, AccountField::None, ""},
        {with(imap, [](auto& v) { v.leaveMail = 2, v.leaveDays = 0; }), AccountField::LeaveDays, ""},
        {with(RetrievalValues{}, [](auto& v) { v.leaveMail = 2, v.leaveDays = 3651; }), AccountField::LeaveDays, ""},
        {with(imap, [](auto& v) { v.leaveMail = 2, v.leaveDays = 3650; }), AccountField::None, ""},
        {with(imap, [](auto& v) { v.folders = std::string(199, 'f'); }), AccountField::Folders, ""},
        {with(imap, [](auto& v) { v.moveFolder = "inbox"; }), AccountField::MoveFolder, "inbox"},
        {with(imap, [](auto& v) { v.folders = "INBOX, Archive", v.moveFolder = "Archive"; }), AccountField::MoveFolder,
         "Archive"},
        // Left at the provider, mail is never moved; with POP3 there are no folders.
        {with(imap, [](auto& v) { v.leaveMail = 1, v.moveFolder = "INBOX"; }), AccountField::None, ""},
        {with(RetrievalValues{}, [](auto& v) { v.moveFolder = "INBOX"; }), AccountField::None, ""},
        {with(imap, [](auto& v) { v.folders = "INBOX, Archive", v.moveFolder = "Archive/2026"; }), AccountField::None,
         ""},
    };
    for (const RetrievalCase& c : retrieval) {
        auto r = validation::checkRetrieval(c.v);
        EXPECT_EQ(r ? r->field : AccountField::None, c.field) << c.v.folders << " / " << c.v.moveFolder;
        if (r && !c.argument.empty()) {
            EXPECT_EQ(r->argument, c.argument);
        }
    }

    OutgoingValues own;
    own.server = "smtp.example.net";
    struct OutgoingCase {
        OutgoingValues v;
        std::string port;
        bool ownChosen;
        AccountField field;
        std::string argument;
    };
    auto out = [](OutgoingValues v, auto change) {
        change(v);
        return v;
    };
    const OutgoingCase outgoing[] = {
        {OutgoingValues{}, "25", false, AccountField::None, ""},
        {OutgoingValues{}, "0", false, AccountField::None, ""},  // the port of no server of its own
        {OutgoingValues{}, "25", true, AccountField::SmtpServer, ""},
        {own, "587", true, AccountField::None, ""},
        {own, "0", true, AccountField::SmtpPort, ""},
        {own, "65536", true, AccountField::SmtpPort, ""},
        {out(own, [](auto& v) { v.server = "smtp example.net"; }), "25", true, AccountField::SmtpServer, ""},
        {out(own, [](auto& v) { v.user = std::string(199, 'u'); }), "25", true, AccountField::SmtpUser, ""},
        {out(own, [](auto& v) { v.password = std::string(199, 'p'); }), "25", true, AccountField::SmtpPassword, ""},
        {out(own, [](auto& v) { v.addresses = "jo@example.net, *@example.org"; }), "25", true, AccountField::None, ""},
        {out(OutgoingValues{}, [](auto& v) { v.addresses = "jo@example.net, jo"; }), "25", false,
         AccountField::Addresses, "jo"},
        {out(own, [](auto& v) { v.addresses = "*@"; }), "25", true, AccountField::Addresses, "*@"},
        {out(own, [](auto& v) { v.addresses = "a*b@example.net"; }), "25", true, AccountField::Addresses,
         "a*b@example.net"},
        {out(own, [](auto& v) { v.addresses = "<jo@example.net>"; }), "25", true, AccountField::Addresses,
         "<jo@example.net>"},
        {out(own, [](auto& v) { v.addresses = "jo@example..net"; }), "25", true, AccountField::Addresses,
         "jo@example..net"},
    };
    for (const OutgoingCase& c : outgoing) {
        auto r = validation::checkOutgoing(c.v, c.port, c.ownChosen);
        EXPECT_EQ(r ? r->field : AccountField::None, c.field) << c.v.server << " " << c.port << " " << c.v.addresses;
        if (r) {
            EXPECT_FALSE(r->message.empty());
            EXPECT_EQ(r->argument, c.argument);
        }
    }
}

TEST_F(AccountMailTest, TheProtocolProposesItsPortAndKeepsOneTheUserTyped) {
    addAccount("home", "Post Office", "post");
    runSheet([&](QDialog& d) {
        auto* protocol = in<QComboBox>(d, "protocol");
        auto* security = in<QComboBox>(d, "popSecurity");
        auto* port = in<QLineEdit>(d, "popPort");
        EXPECT_EQ(protocol->currentText(), "POP3");
        EXPECT_EQ(port->text(), "110");
        // IMAP brings TLS while no security was chosen.
        protocol->setCurrentIndex(1);
        EXPECT_EQ(security->currentText(), "TLS");
        EXPECT_EQ(port->text(), "993");
        security->setCurrentIndex(0);
        EXPECT_EQ(port->text(), "143");
        security->setCurrentIndex(2);
        EXPECT_EQ(port->text(), "993");
        protocol->setCurrentIndex(0);
        EXPECT_EQ(port->text(), "995");
        security->setCurrentIndex(1);
        EXPECT_EQ(port->text(), "110");
        type(d, "popPort", "1110");
        protocol->setCurrentIndex(1);
        EXPECT_EQ(port->text(), "1110");
        type(d, "popPort", "143");
        security->setCurrentIndex(2);
        EXPECT_EQ(port->text(), "993");
        pressOk(d);
        return d.result();
    });
    config::AccountRecord rec = accountRecord("home");
    EXPECT_EQ(rec.protocol, config::kProtocolImap);
    EXPECT_EQ(rec.security, 2u);
    EXPECT_EQ(rec.port, 993u);

    // An IMAP account with neither stored shows what the engine uses, and OK leaves them absent.
    plat::RegKey accounts;
    config::openAccountsKey(accounts);
    addAccount("imap", "Post Office", "post", "ann", "imap.example.net");
    config::writeAccountDword(accounts, "imap", "protocol", 1);
    plat::RegKey imapKey;
    ASSERT_EQ(plat::regOpenSubKey(accounts, "imap", plat::KeyAccess::Write, imapKey), plat::RegStatus::Ok);
    plat::regDeleteValue(imapKey, "port");
    then([&](QDialog& d) {
        EXPECT_EQ(in<QComboBox>(d, "protocol")->currentText(), "IMAP");
        EXPECT_EQ(in<QComboBox>(d, "popSecurity")->currentText(), "TLS");
        EXPECT_EQ(in<QLineEdit>(d, "popPort")->text(), "993");
        pressOk(d);
        return d.result();
    });
    then([](QDialog&) { return 1; });
    showAccountProperties(nullptr, 1);
    EXPECT_EQ(accountNumber("imap", "security"), std::nullopt);
    EXPECT_EQ(accountNumber("imap", "port"), std::nullopt);
    EXPECT_EQ(accountRecord("imap").port, 993u);
}

TEST_F(AccountMailTest, TheAdvancedPageOffersTheFoldersForImapAndWhatBecomesOfFetchedMail) {
    addAccount("home", "Post Office", "post");
    runSheet([&](QDialog& d) {
        tabsOf(d)->setCurrentIndex(1);
        QWidget& advanced = *page(d, "advancedPage");
        EXPECT_TRUE(in<QRadioButton>(advanced, "removeAlways")->isChecked());
        EXPECT_FALSE(shown(advanced, "imapFolders"));
        EXPECT_FALSE(shown(advanced, "moveFolder"));
        EXPECT_FALSE(in<QSpinBox>(advanced, "removeAfterDays")->isEnabled());
        in<QRadioButton>(advanced, "removeLater")->setChecked(true);
        EXPECT_TRUE(in<QSpinBox>(advanced, "removeAfterDays")->isEnabled());
        EXPECT_EQ(in<QSpinBox>(advanced, "removeAfterDays")->value(), 14);
        // IMAP chosen on the Account page brings the folders.
        tabsOf(d)->setCurrentIndex(0);
        in<QComboBox>(d, "protocol")->setCurrentIndex(1);
        tabsOf(d)->setCurrentIndex(1);
        EXPECT_TRUE(shown(advanced, "imapFolders"));
        EXPECT_EQ(in<QLineEdit>(advanced, "imapFolders")->text(), "INBOX");
        EXPECT_TRUE(in<QRadioButton>(advanced, "removeLater")->isChecked());  // kept meanwhile
        type(advanced, "imapFolders", " INBOX, Archive ");
        type(advanced, "moveFolder", "Archive");
        tabsOf(d)->setCurrentIndex(0);
        EXPECT_EQ(takeBoxes(), Texts{"Mail cannot be moved to \"Archive\": that folder is fetched too, so its mail "
                                     "would be fetched again. Please choose another folder."});
        EXPECT_EQ(tabsOf(d)->currentIndex(), 1);
        EXPECT_EQ(d.focusWidget(), in<QLineEdit>(advanced, "moveFolder"));
        type(advanced, "moveFolder", "Done");
        in<QRadioButton>(advanced, "removeNever")->setChecked(true);
        EXPECT_FALSE(in<QLineEdit>(advanced, "moveFolder")->isEnabled());
        in<QRadioButton>(advanced, "removeLater")->setChecked(true);
        in<QSpinBox>(advanced, "removeAfterDays")->setValue(30);
        pressOk(d);
        return d.result();
    });
    EXPECT_TRUE(takeBoxes().empty());
    config::AccountRecord rec = accountRecord("home");
    EXPECT_EQ(rec.protocol, config::kProtocolImap);
    EXPECT_EQ(rec.imapFolders, "INBOX, Archive");
    EXPECT_EQ(rec.leaveMail, config::kLeaveMailForDays);
    EXPECT_EQ(rec.leaveDays, 30u);
    EXPECT_EQ(rec.moveFolder, "Done");
}

TEST_F(AccountMailTest, TheOutgoingPageStoresTheAccountsOwnServerAndRefusesWhatWouldNotWork) {
    addAccount("home", "Post Office", "post", "jo");
    plat::RegKey accounts;
    config::openAccountsKey(accounts);
    config::writeAccountString(accounts, "home", "emailaddress", "jo@example.net");
    runSheet([&](QDialog& d) {
        EXPECT_EQ(tabsOf(d)->tabText(2), "Outgoing");
        tabsOf(d)->setCurrentIndex(2);
        QWidget& out = *page(d, "outgoingPage");
        EXPECT_TRUE(in<QRadioButton>(out, "sameOutgoingServer")->isChecked());
        EXPECT_FALSE(in<QLineEdit>(out, "accountSmtpServer")->isEnabled());
        EXPECT_EQ(in<QLineEdit>(out, "addresses")->placeholderText(), "jo@example.net");
        in<QRadioButton>(out, "ownOutgoingServer")->setChecked(true);
        EXPECT_TRUE(in<QLineEdit>(out, "accountSmtpServer")->isEnabled());
        tabsOf(d)->setCurrentIndex(0);
        EXPECT_EQ(takeBoxes(), Texts{"Please enter the name of this account's own outgoing mail server, or choose "
                                     "the same server as for all accounts."});
        EXPECT_EQ(tabsOf(d)->currentIndex(), 2);
        type(out, "accountSmtpServer", "SMTP.Example.NET");
        EXPECT_TRUE(shown(out, "accountSmtpPlainTextWarning"));
        auto* port = in<QSpinBox>(out, "accountSmtpPort");
        EXPECT_EQ(port->value(), 25);
        in<QComboBox>(out, "accountSmtpSecurity")->setCurrentIndex(1);
        EXPECT_EQ(port->value(), 587);
        EXPECT_FALSE(shown(out, "accountSmtpPlainTextWarning"));
        type(out, "accountSmtpUser", "jo");
        type(out, "accountSmtpPassword", "out-pw");
        type(out, "addresses", "jo@example.net  *@example.org; nonsense");
        press(d, "ok");
        EXPECT_EQ(takeBoxes(), Texts{"\"nonsense\" is neither an e-mail address (jo@example.net) nor a pattern of a "
                                     "domain (*@example.net)."});
        EXPECT_EQ(d.focusWidget(), in<QLineEdit>(out, "addresses"));
        type(out, "addresses", "jo@example.net  *@example.org");
        // OAuth 2.0 takes the account's sign-in: no password row, Sign in… instead.
        in<QComboBox>(out, "accountSmtpAuth")->setCurrentIndex(1);
        EXPECT_FALSE(shown(out, "accountSmtpPassword"));
        EXPECT_TRUE(shown(out, "accountSmtpSignIn"));
        in<QComboBox>(out, "accountSmtpAuth")->setCurrentIndex(0);
        pressOk(d);
        return d.result();
    });
    expectRoute({.account = "home",
                 .addresses = {"jo@example.net", "*@example.org"},
                 .server = "smtp.example.net",
                 .port = 587,
                 .security = 1,
                 .user = "jo"});
    EXPECT_EQ(accountValue("home", "smtppass"), "out-pw");
    EXPECT_EQ(accountValue("home", "addresses"), "jo@example.net, *@example.org");

    // Back to the same server: only the server is emptied; the page shows the rest again.
    runSheet([&](QDialog& d) {
        tabsOf(d)->setCurrentIndex(2);
        QWidget& out = *page(d, "outgoingPage");
        EXPECT_TRUE(in<QRadioButton>(out, "ownOutgoingServer")->isChecked());
        EXPECT_EQ(in<QLineEdit>(out, "accountSmtpServer")->text(), "smtp.example.net");
        EXPECT_EQ(in<QLineEdit>(out, "accountSmtpPassword")->text(), "out-pw");
        in<QRadioButton>(out, "sameOutgoingServer")->setChecked(true);
        pressOk(d);
        return d.result();
    });
    EXPECT_EQ(accountRoute("home").server, "");
    EXPECT_EQ(accountNumber("home", "smtpsecurity"), 1u);
}

// An account whose secrets are in the desktop's store keeps its outgoing password there too;
// user.reg never sees it.
TEST_F(AccountMailTest, TheOutgoingPasswordGoesToTheSecretStoreWhenTheAccountsSecretsAreThere) {
    if (!testsupport::PrivateKeyring::available()) GTEST_SKIP() << "needs dbus-daemon, gnome-keyring and gdbus";
    testsupport::PrivateKeyring keyring;
    ASSERT_TRUE(keyring.start()) << "the private keyring did not start";
    addAccount("home", "Post Office", "post", "jo");
    std::string why;
    ASSERT_TRUE(config::moveSecretsToStore("home", why)) << why;
    runSheet([&](QDialog& d) {
        tabsOf(d)->setCurrentIndex(2);
        QWidget& out = *page(d, "outgoingPage");
        in<QRadioButton>(out, "ownOutgoingServer")->setChecked(true);
        type(out, "accountSmtpServer", "smtp.example.net");
        type(out, "accountSmtpUser", "jo");
        type(out, "accountSmtpPassword", "out-pw");
        pressOk(d);
        return d.result();
    });
    plat::SecretAnswer stored = plat::lookupSecret("home", plat::SecretKind::SmtpPass);
    EXPECT_EQ(stored.status, plat::SecretStatus::Ok) << plat::secretStatusText(stored);
    EXPECT_EQ(stored.secret, "out-pw");
    EXPECT_EQ(config::readSecretValue(config::targetKeyPath("home"), "smtppass"), "");
    EXPECT_EQ(plat::lookupSecret("home", plat::SecretKind::Password).secret, "secret");  // untouched
    // The page shows it again from the store.
    runSheet([&](QDialog& d) {
        tabsOf(d)->setCurrentIndex(2);
        EXPECT_EQ(in<QLineEdit>(d, "accountSmtpPassword")->text(), "out-pw");
        pressOk(d);
        return d.result();
    });
}

TEST_F(AccountMailTest, TheEmailProgramIsToldThatOneLocalSmtpServerServesEveryAccount) {
    addAccount("home", "Post Office", "post");
    then([](QDialog& d) {
        press(d, "ok");
        return d.result();
    });
    then([](QDialog& d) {
        auto* note = d.findChild<QLabel*>(QStringLiteral("outgoingNote"));
        EXPECT_NE(note, nullptr);
        if (note) {
            EXPECT_NE(note->text().indexOf("One local SMTP server serves every account"), -1);
        }
        return 1;
    });
    showAccountProperties(nullptr, 0);
}

// With TARNWICK_SCREENS_DIR set, the pages of an IMAP account with a server of its own for
// outgoing mail are rendered into PNG files there.
TEST_F(AccountMailTest, TheNewPagesAreRenderedForReviewWhenAsked) {
    if (!screensDir()) GTEST_SKIP() << "TARNWICK_SCREENS_DIR not set";
    addAccount("home", "Post Office", "post", "jo@example.net", "imap.example.net");
    then([&](QDialog& d) {
        in<QComboBox>(d, "protocol")->setCurrentIndex(1);
        in<QComboBox>(d, "popSecurity")->setCurrentIndex(2);
        saveScreen(d, "account-imap-1-account.png");
        tabsOf(d)->setCurrentIndex(1);
        QWidget& advanced = *page(d, "advancedPage");
        type(advanced, "imapFolders", "INBOX, Lists/dev");
        in<QRadioButton>(advanced, "removeLater")->setChecked(true);
        type(advanced, "moveFolder", "Archive");
        saveScreen(d, "account-imap-2-advanced.png");
        tabsOf(d)->setCurrentIndex(2);
        QWidget& out = *page(d, "outgoingPage");
        in<QRadioButton>(out, "ownOutgoingServer")->setChecked(true);
        type(out, "accountSmtpServer", "smtp.example.net");
        in<QComboBox>(out, "accountSmtpSecurity")->setCurrentIndex(1);
        type(out, "accountSmtpUser", "jo@example.net");
        type(out, "accountSmtpPassword", "secret");
        type(out, "addresses", "jo@example.net, *@example.org");
        saveScreen(d, "account-imap-3-outgoing.png");
        in<QComboBox>(out, "accountSmtpAuth")->setCurrentIndex(1);
        saveScreen(d, "account-imap-4-outgoing-oauth.png");
        d.hide();
        return 0;
    });
    showAccountProperties(nullptr, 0);
}

}  // namespace
