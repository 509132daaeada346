// The wizard's set-up from an address: what a look-up's answer becomes (the account's values
// and where its outgoing mail goes), and the wizard waiting for the look-up without blocking,
// stopped by the user, by its time limit, or led to the manual pages when nothing is found.
#include "autoconfig/provider_table.h"
#include "frontend/settings/account_wizard.h"
#include "frontend/settings/found_account.h"
#include "frontend/settings/settings_lookup.h"
#include "tests/frontend/settings_fixture.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QThread>
#include <QWizard>

#include <optional>

namespace {

using autoconfig::Discovery;
using autoconfig::MailAddress;
using autoconfig::Protocol;

MailAddress address(const std::string& text) {
    MailAddress a;
    std::string why;
    EXPECT_TRUE(autoconfig::parseAddress(text, a, why)) << why;
    return a;
}

// What the shipped table says about an address.
Discovery fromTable(const MailAddress& a) {
    Discovery d;
    d.found = autoconfig::lookUpProviderByDomain(a, d.settings);
    EXPECT_TRUE(d.found) << a.text();
    return d;
}

// A domain's settings file as a test server would give them: POP3 with STARTTLS on loopback.
Discovery served(std::uint16_t port = 1110) {
    Discovery d;
    d.found = true;
    d.settings.provider = "Example Test Mail";
    d.settings.source = "https://autoconfig.example.test/mail/config-v1.1.xml";
    d.settings.incoming.push_back({Protocol::Pop3, "127.0.0.1", port, Security::StartTls, "ann", false});
    d.settings.outgoing.push_back({Protocol::Smtp, "smtp.example.test", 465, Security::Tls, "ann@example.test", false});
    return d;
}

std::optional<std::uint32_t> number(const std::string& title, const char* value) {
    plat::RegKey accounts;
    config::openAccountsKey(accounts);
    return config::accountDword(accounts, config::findAccount(accounts, title), value);
}

class AccountLookupTest : public SettingsTest {
protected:
    void SetUp() override {
        SettingsTest::SetUp();
        // The look-up answers when the test says so, never by itself.
        lookup::setStartHook([this](const MailAddress& a, lookup::Answer answer) {
            asked.push_back(a.text());
            pending = std::move(answer);
        });
    }
    void TearDown() override {
        lookup::setStartHook({});
        lookup::setTimeLimit({});
        SettingsTest::TearDown();
    }
    bool run() {
        bool created = false;
        openAddAccountWizard(nullptr, [&](bool c) { created = c; });
        return created;
    }

    std::vector<std::string> asked;
    lookup::Answer pending;
};

TEST_F(AccountLookupTest, APop3ProviderKeepsPop3AndItsSmtpServerIsPlacedAgainstTheOutgoingHost) {
    MailAddress a = address("Ann+news@GMX.net");
    Discovery d = fromTable(a);
    std::optional<found::Plan> plan = found::planFor(a, d, {});
    ASSERT_TRUE(plan);
    EXPECT_EQ(plan->address, "Ann+news@gmx.net");
    EXPECT_EQ(plan->protocol, config::kProtocolPop3);
    EXPECT_EQ(plan->server, "pop.gmx.net");
    EXPECT_EQ(plan->port, 995u);
    EXPECT_EQ(plan->security, 2u);
    EXPECT_TRUE(plan->pop3Offered && plan->imapOffered);
    EXPECT_EQ(plan->smtpServer, "mail.gmx.net");
    EXPECT_EQ(plan->smtpPort, 587u);
    EXPECT_EQ(plan->smtpSecurity, 1u);
    // Against the outgoing host set now: none, the same (letter case ignored), another.
    EXPECT_EQ(plan->outgoing, found::Outgoing::BecomesGlobal);
    EXPECT_EQ(found::planFor(a, d, {"Mail.GMX.net", 587})->outgoing, found::Outgoing::SameAsGlobal);
    EXPECT_EQ(found::planFor(a, d, {"mail.gmx.net", 25})->outgoing, found::Outgoing::Own);
    // IMAP when asked for, as the provider offers it.
    std::optional<found::Plan> imap = found::planFor(a, d, {}, config::kProtocolImap);
    EXPECT_EQ(imap->protocol, config::kProtocolImap);
    EXPECT_EQ(imap->server, "imap.gmx.net");
    EXPECT_EQ(imap->port, 993u);
    EXPECT_EQ(found::titleFor(a), "Ann");

    // Another outgoing host is set: the account's mail leaves through its own provider, logged
    // in with the same password.
    config::writeSetting(config::kOutHostName, std::string("smtp.isp.example"));
    plan = found::planFor(a, d, found::currentOutgoing());
    ASSERT_EQ(plan->outgoing, found::Outgoing::Own);
    EXPECT_EQ(found::writePlan(*plan, "ann", "Quill Mail", "quill", {"pw-1", false, {}}), found::Written::Done);
    EXPECT_EQ(accountValue("ann", "server"), "pop.gmx.net");
    EXPECT_EQ(number("ann", "port"), 995u);
    EXPECT_EQ(number("ann", "security"), 2u);
    EXPECT_EQ(accountValue("ann", "user"), plan->user);
    EXPECT_EQ(accountValue("ann", "pass"), "pw-1");
    EXPECT_EQ(accountValue("ann", "emailaddress"), "Ann+news@gmx.net");
    EXPECT_EQ(accountValue("ann", "clientname"), "Quill Mail");
    EXPECT_EQ(number("ann", "protocol"), std::nullopt);  // absent reads as POP3
    EXPECT_EQ(accountValue("ann", "smtpserver"), "mail.gmx.net");
    EXPECT_EQ(number("ann", "smtpport"), 587u);
    EXPECT_EQ(number("ann", "smtpsecurity"), 1u);
    EXPECT_EQ(accountValue("ann", "smtpuser"), plan->smtpUser);
    EXPECT_EQ(accountValue("ann", "smtppass"), "pw-1");
    EXPECT_EQ(config::readSetting(config::kOutHostName), "smtp.isp.example");  // untouched
    // The same title again is refused, and nothing of it is written.
    EXPECT_EQ(found::writePlan(*plan, "ann", "Quill Mail", "quill", {"other", false, {}}), found::Written::NotCreated);
    EXPECT_EQ(accountValue("ann", "pass"), "pw-1");
}

TEST_F(AccountLookupTest, AnImapOnlyProviderGetsImapAndItsSmtpServerBecomesTheOutgoingHost) {
    MailAddress a = address("jo@icloud.com");
    Discovery d = fromTable(a);
    // POP3 asked for, but there is none: IMAP.
    std::optional<found::Plan> plan = found::planFor(a, d, found::currentOutgoing(), config::kProtocolPop3);
    ASSERT_TRUE(plan);
    EXPECT_EQ(plan->protocol, config::kProtocolImap);
    EXPECT_FALSE(plan->pop3Offered);
    EXPECT_EQ(plan->server, "imap.mail.me.com");
    EXPECT_EQ(plan->port, 993u);
    EXPECT_NE(plan->note.find("app-specific password"), std::string::npos);
    EXPECT_EQ(plan->outgoing, found::Outgoing::BecomesGlobal);
    EXPECT_EQ(found::writePlan(*plan, "jo", "Quill Mail", "quill", {"app-pw", false, {}}), found::Written::Done);
    EXPECT_EQ(number("jo", "protocol"), config::kProtocolImap);
    EXPECT_EQ(number("jo", "port"), 993u);
    EXPECT_EQ(accountValue("jo", "smtpserver"), "");  // the global host serves it
    EXPECT_EQ(config::readSetting(config::kOutHostName), "smtp.mail.me.com");
    EXPECT_EQ(config::readOutHostPort(), 587u);
    EXPECT_EQ(config::readSetting(config::kOutHostSecurity), 1u);
    EXPECT_EQ(config::readSetting(config::kOutHostUser), "jo@icloud.com");
    EXPECT_EQ(config::readSetting(config::kOutHostPass), "app-pw");
}

TEST_F(AccountLookupTest, AnOAuthPresetSignsInAndKeepsTheTypedPasswordAsTheLocalOne) {
    MailAddress a = address("ann.b@outlook.com");
    std::optional<found::Plan> plan = found::planFor(a, fromTable(a), {"smtp.isp.example", 25});
    ASSERT_TRUE(plan);
    EXPECT_EQ(plan->oauthPreset, "microsoft");
    EXPECT_TRUE(plan->oauthOnly);
    // The advice meant for trawlexctl's users is left out.
    EXPECT_EQ(plan->note.find("--oauth"), std::string::npos) << plan->note;
    EXPECT_NE(plan->note.find("sign in with OAuth 2.0"), std::string::npos) << plan->note;
    EXPECT_EQ(found::writePlan(*plan, "ann", "Quill Mail", "quill", {"local-pw", true, "client-9"}),
              found::Written::Done);
    EXPECT_EQ(accountValue("ann", "pass"), "");
    EXPECT_EQ(accountValue("ann", "localpass"), "local-pw");
    EXPECT_EQ(number("ann", "auth"), 1u);
    EXPECT_EQ(accountValue("ann", "oauthclientid"), "client-9");
    EXPECT_NE(accountValue("ann", "oauthtokenurl"), "");
    // Its own outgoing host signs in the same way, with no password of its own.
    EXPECT_EQ(number("ann", "smtpauth"), 1u);
    EXPECT_EQ(accountValue("ann", "smtppass"), "");
}

// A provider no preset knows, whose settings file names its OAuth 2.0 endpoints: the sign-in
// is offered under the issuer's name and the account keeps those endpoints.
TEST_F(AccountLookupTest, OAuthEndpointsFromTheSettingsFileAreOfferedAndKept) {
    MailAddress a = address("ann@example.test");
    Discovery d = served();
    d.settings.incoming[0].oauth = true;
    d.settings.oauthEndpoints = {"login.example.test", "https://login.example.test/a", "https://login.example.test/t",
                                 "mail offline"};
    std::optional<found::Plan> plan = found::planFor(a, d, {"smtp.isp.example", 25});
    ASSERT_TRUE(plan);
    EXPECT_TRUE(plan->signInOffered());
    EXPECT_TRUE(plan->oauthOnly);
    EXPECT_EQ(plan->signInName(), "login.example.test");
    EXPECT_EQ(found::writePlan(*plan, "ann", "Quill Mail", "quill", {"local-pw", true, "client-4"}),
              found::Written::Done);
    EXPECT_EQ(accountValue("ann", "oauthauthurl"), "https://login.example.test/a");
    EXPECT_EQ(accountValue("ann", "oauthtokenurl"), "https://login.example.test/t");
    EXPECT_EQ(accountValue("ann", "oauthscope"), "mail offline");
    EXPECT_EQ(accountValue("ann", "oauthclientid"), "client-4");

    // A preset, where there is one, goes before what a file names.
    d.settings.oauthPreset = "google";
    plan = found::planFor(a, d, {"smtp.isp.example", 25});
    ASSERT_TRUE(plan);
    EXPECT_TRUE(plan->oauthEndpoints.empty());
    EXPECT_EQ(plan->signInName(), "google");
}

TEST_F(AccountLookupTest, NothingUsableFoundMeansTheManualPages) {
    MailAddress a = address("ann@example.test");
    EXPECT_FALSE(found::planFor(a, Discovery{}, {}));
    Discovery onlyOutgoing = served();
    onlyOutgoing.settings.incoming.clear();
    EXPECT_FALSE(found::planFor(a, onlyOutgoing, {}));
    Discovery noSmtp = served();
    noSmtp.settings.outgoing.clear();
    EXPECT_EQ(found::planFor(a, noSmtp, {})->outgoing, found::Outgoing::None);
}

// The wizard asks for the address, waits for the look-up without blocking, shows what was
// found and asks only for the password.
TEST_F(AccountLookupTest, TheWizardWaitsForTheLookUpThenTakesTheSettingsFoundWithAPassword) {
    then([&](QDialog& d) {
        auto& w = dynamic_cast<QWizard&>(d);
        type(d, "emailAddress", "ann+lists@Example.TEST");
        EXPECT_EQ(in<QLineEdit>(d, "accountTitle")->text(), "ann");  // proposed from the address
        w.next();
        // The look-up has started and the wizard is back in the loop, waiting for it.
        EXPECT_EQ(w.currentId(), 3);
        EXPECT_EQ(asked, std::vector<std::string>{"ann+lists@example.test"});
        EXPECT_TRUE(in<QLabel>(d, "lookupText")->text().contains("ann+lists@example.test"));
        EXPECT_FALSE(w.button(QWizard::NextButton)->isEnabled());
        QApplication::processEvents();
        EXPECT_EQ(w.currentId(), 3);

        pending(served(1234));
        EXPECT_EQ(w.currentId(), 4);
        EXPECT_EQ(in<QLabel>(d, "foundProvider")->text(), "Example Test Mail");
        EXPECT_EQ(in<QLabel>(d, "foundIncoming")->text(), "127.0.0.1, port 1234, STARTTLS");
        EXPECT_EQ(in<QLabel>(d, "foundUser")->text(), "ann");
        EXPECT_EQ(in<QLabel>(d, "foundOutgoing")->text(),
                  "smtp.example.test, port 465, TLS (becomes the outgoing server for all mail)");
        EXPECT_FALSE(in<QComboBox>(d, "foundProtocol")->isEnabled());  // POP3 only
        EXPECT_TRUE(in<QComboBox>(d, "foundSignIn")->isHidden());  // no OAuth 2.0 preset
        EXPECT_FALSE(w.button(QWizard::NextButton)->isEnabled());  // no password yet
        saveScreen(d, "wizard-found.png");

        // Back goes to the address, past the look-up; Next looks up again.
        w.back();
        EXPECT_TRUE(pumpUntil([&] { return w.currentId() == 0; }));
        w.next();
        EXPECT_EQ(asked.size(), 2u);
        pending(served(1234));
        type(d, "foundPassword", "pop-pw");
        EXPECT_TRUE(w.button(QWizard::NextButton)->isEnabled());
        w.next();
        EXPECT_EQ(w.currentId(), 5);  // the server check
        w.next();
        EXPECT_EQ(w.currentId(), 2);
        press(d, "finish");
        return d.result();
    });
    then([](QDialog& d) { return d.objectName() == "newAccountSettingsDialog" ? 1 : 0; });
    EXPECT_TRUE(run());
    EXPECT_EQ(accountValue("ann", "server"), "127.0.0.1");
    EXPECT_EQ(number("ann", "port"), 1234u);
    EXPECT_EQ(number("ann", "security"), 1u);
    EXPECT_EQ(accountValue("ann", "user"), "ann");
    EXPECT_EQ(accountValue("ann", "pass"), "pop-pw");
    EXPECT_EQ(accountValue("ann", "emailaddress"), "ann+lists@example.test");
    EXPECT_EQ(config::readSetting(config::kOutHostName), "smtp.example.test");
}

TEST_F(AccountLookupTest, StoppingTheLookUpLeadsToTheManualPagesAndALateAnswerChangesNothing) {
    then([&](QDialog& d) {
        auto& w = dynamic_cast<QWizard&>(d);
        type(d, "emailAddress", "ann@example.test");
        w.next();
        EXPECT_EQ(w.currentId(), 3);
        press(d, "stopLookup");
        EXPECT_EQ(w.currentId(), 1);
        EXPECT_TRUE(in<QLabel>(d, "manualReason")->isHidden());  // the user chose it
        EXPECT_EQ(in<QLineEdit>(d, "popUser")->text(), "ann@example.test");
        pending(served());
        QApplication::processEvents();
        EXPECT_EQ(w.currentId(), 1);
        press(d, "cancel");
        return d.result();
    });
    EXPECT_FALSE(run());

    // Cancelling the wizard while it waits: the answer that comes after finds nothing to fill.
    then([&](QDialog& d) {
        auto& w = dynamic_cast<QWizard&>(d);
        type(d, "emailAddress", "ann@example.test");
        w.next();
        EXPECT_EQ(w.currentId(), 3);
        press(d, "cancel");
        return d.result();
    });
    EXPECT_FALSE(run());
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    pending(served());
    QApplication::processEvents();
    EXPECT_FALSE(accountPresent("ann"));
    EXPECT_EQ(takeBoxes(), std::vector<std::string>{});
}

TEST_F(AccountLookupTest, NothingFoundOrNoAnswerInTimeSaysSoOnTheManualPage) {
    then([&](QDialog& d) {
        auto& w = dynamic_cast<QWizard&>(d);
        type(d, "emailAddress", "ann@example.test");
        w.next();
        pending(Discovery{});
        EXPECT_EQ(w.currentId(), 1);
        auto* why = in<QLabel>(d, "manualReason");
        EXPECT_FALSE(why->isHidden());
        EXPECT_EQ(why->text(),
                  "No settings were found for example.test. Enter the servers as your provider gives them.");

        // The look-up that never answers: the wizard stops waiting at its limit.
        lookup::setTimeLimit(std::chrono::milliseconds(30));
        w.back();
        EXPECT_TRUE(pumpUntil([&] { return w.currentId() == 0; }));
        w.next();
        EXPECT_EQ(w.currentId(), 3);
        EXPECT_TRUE(pumpUntil([&] { return w.currentId() == 1; }));
        EXPECT_TRUE(why->text().startsWith("The look-up for example.test took too long.")) << why->text().toStdString();

        // An answer given at once, inside the look-up's start, moves on all the same.
        lookup::setStartHook([](const MailAddress&, lookup::Answer answer) { answer(served()); });
        w.back();
        EXPECT_TRUE(pumpUntil([&] { return w.currentId() == 0; }));
        w.next();
        EXPECT_TRUE(pumpUntil([&] { return w.currentId() == 4; }));

        // "Enter the servers myself" skips the look-up.
        w.back();
        EXPECT_TRUE(pumpUntil([&] { return w.currentId() == 0; }));
        in<QCheckBox>(d, "manualSetup")->setChecked(true);
        w.next();
        EXPECT_EQ(w.currentId(), 1);
        EXPECT_TRUE(in<QLabel>(d, "manualReason")->isHidden());
        press(d, "cancel");
        return d.result();
    });
    EXPECT_FALSE(run());
    EXPECT_EQ(asked.size(), 2u);
}

TEST_F(AccountLookupTest, AnAddressThatIsNoneIsRefusedWithItsMessage) {
    then([&](QDialog& d) {
        auto& w = dynamic_cast<QWizard&>(d);
        type(d, "accountTitle", "home");
        type(d, "emailAddress", "ann at example");
        w.next();
        EXPECT_EQ(w.currentId(), 0);
        press(d, "cancel");
        return d.result();
    });
    EXPECT_FALSE(run());
    std::vector<std::string> shown = takeBoxes();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_NE(shown[0].find("'ann at example' is not an e-mail address"), std::string::npos) << shown[0];
    EXPECT_TRUE(asked.empty());
}

// The real look-up: it runs on a worker thread and answers through the loop.
TEST_F(AccountLookupTest, TheRealLookUpAnswersThroughTheLoopFromAnotherThread) {
    lookup::setStartHook({});
    std::optional<Discovery> answer;
    Qt::HANDLE answeredOn = nullptr;
    // An address the shipped table knows: nothing is asked on the network.
    lookup::start(address("ann@posteo.de"), [&](Discovery d) {
        answer = std::move(d);
        answeredOn = QThread::currentThreadId();
    });
    EXPECT_FALSE(answer);  // not before the loop has run
    EXPECT_TRUE(pumpUntil([&] { return answer.has_value(); }));
    ASSERT_TRUE(answer);
    EXPECT_TRUE(answer->found);
    EXPECT_EQ(answeredOn, QThread::currentThreadId());
    EXPECT_EQ(answer->settings.firstIncoming(Protocol::Pop3)->host, "posteo.de");
}

}  // namespace
