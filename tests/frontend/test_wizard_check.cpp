// The wizard's server check: what a failed check says, in words a user understands, told from
// hand-made reports; and the check page between the servers and the last page, with the probe
// answering when the test wants (or never).
#include "frontend/desktop/desktop.h"
#include "frontend/settings/account_wizard.h"
#include "frontend/settings/check_words.h"
#include "frontend/settings/settings_lookup.h"
#include "frontend/settings/wizard_check_page.h"
#include "oauth/oauth_settings.h"
#include "tests/frontend/settings_fixture.h"
#include "tests/support/temp_env.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QProgressBar>
#include <QThread>
#include <QWizard>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <optional>

namespace {

using autoconfig::ProbeReport;
using autoconfig::ProbeStep;
using autoconfig::ProbeTarget;
using autoconfig::Protocol;
using check::Trouble;

ProbeTarget target(Protocol protocol = Protocol::Pop3) {
    ProbeTarget t;
    t.protocol = protocol;
    t.host = "mail.example.test";
    t.port = 995;
    t.login = true;
    t.user = "ann";
    return t;
}

// A report whose steps up to failedAt went well and failedAt failed with detail.
ProbeReport failing(const std::string& failedAt, const std::string& detail) {
    ProbeReport r;
    for (const char* name : {"connect", "tls", "greeting", "capabilities", "login"}) {
        if (name == failedAt) {
            r.steps.push_back({name, false, detail, 3});
            return r;
        }
        r.steps.push_back({name, true, "", 1});
    }
    r.steps.push_back({failedAt, false, detail, 3});
    return r;
}

ProbeReport connectFailing(plat::ConnectFailure why) {
    ProbeReport r = failing("connect", "mail.example.test:995: (in the system's words)");
    r.connectFailure = why;
    return r;
}

// A report whose log-in failed for the reason kind; the words are the probe's and not looked at.
ProbeReport loginFailing(autoconfig::LoginFailure kind, const std::string& detail) {
    ProbeReport r = failing("login", detail);
    r.loginFailure = kind;
    return r;
}

ProbeReport certificateRefused(plat::CertificateTrouble trouble, const std::string& subject = "CN=other.example") {
    ProbeReport r = failing("tls", "certificate for mail.example.test not trusted");
    r.haveTls = true;
    r.tls.haveCertificate = true;
    r.tls.subject = subject;
    r.tls.notAfter = "2026-01-31 12:00:00 UTC";
    r.tls.trouble = trouble;
    return r;
}

std::string words(const ProbeReport& r, const ProbeTarget& t = target(), const std::string& note = {}) {
    return check::failureWords(r, t, note).toStdString();
}

TEST(CheckWords, AServerThatCannotBeReachedIsToldApartByWhy) {
    using plat::ConnectFailure;
    EXPECT_EQ(check::troubleOf(connectFailing(ConnectFailure::NoSuchHost)), Trouble::NoSuchHost);
    EXPECT_EQ(words(connectFailing(ConnectFailure::NoSuchHost)),
              "There is no server called mail.example.test. Check the server's name.");
    EXPECT_NE(words(connectFailing(ConnectFailure::NameLookup)).find("connected to the internet"), std::string::npos);
    EXPECT_NE(words(connectFailing(ConnectFailure::Unreachable)).find("connected to the internet"), std::string::npos);
    EXPECT_EQ(words(connectFailing(ConnectFailure::Refused)),
              "mail.example.test refused the connection on port 995. Check the port and the security your "
              "provider gives.");
    EXPECT_EQ(check::troubleOf(connectFailing(ConnectFailure::TimedOut)), Trouble::TimedOut);
    EXPECT_NE(words(connectFailing(ConnectFailure::TimedOut)).find("did not answer on port 995 in time"),
              std::string::npos);
    // Anything else keeps the system's words.
    EXPECT_NE(words(connectFailing(ConnectFailure::Other)).find("(in the system's words)"), std::string::npos);
}

TEST(CheckWords, ARefusedCertificateSaysWhyItIsRefused) {
    using plat::CertificateTrouble;
    EXPECT_EQ(words(certificateRefused(CertificateTrouble::OtherName, "CN=other.example,O=Example\\, Ltd")),
              "The certificate is for another name: mail.example.test showed a certificate for other.example. "
              "Check the server's name with your provider.");
    EXPECT_NE(words(certificateRefused(CertificateTrouble::OtherName, "O=No Name")).find("it does not name"),
              std::string::npos);
    EXPECT_EQ(words(certificateRefused(CertificateTrouble::Expired)),
              "The certificate of mail.example.test has expired (2026-01-31 12:00:00 UTC). Your provider must "
              "renew it.");
    EXPECT_NE(words(certificateRefused(CertificateTrouble::SelfSigned)).find("self-signed"), std::string::npos);
    EXPECT_NE(words(certificateRefused(CertificateTrouble::UnknownIssuer)).find("authority this computer does not"),
              std::string::npos);
    EXPECT_NE(words(certificateRefused(CertificateTrouble::NotYetValid)).find("date and time"), std::string::npos);
    // A handshake that failed with no certificate refused: the port speaks no TLS.
    ProbeReport plain = failing("tls", "TLS handshake with mail.example.test failed: wrong version number");
    EXPECT_EQ(check::troubleOf(plain), Trouble::NoTls);
    EXPECT_NE(words(plain).find("may expect STARTTLS"), std::string::npos);
    EXPECT_EQ(check::certificateName("O=A\\,B,CN=mail.example.org"), "mail.example.org");
}

TEST(CheckWords, ARefusedPasswordNamesTheProvidersAdvice) {
    using autoconfig::LoginFailure;
    ProbeReport refused = loginFailing(LoginFailure::PasswordRefused,
                                       "the server refused the password: -ERR [AUTH] Authentication failed.");
    EXPECT_EQ(words(refused), "The server refused the password for ann. Check the user name and the password.");
    const std::string appPassword = "app password needed (made in the account's security settings)";
    EXPECT_EQ(words(refused, target(), appPassword),
              "The server refused the password for ann. This provider needs an app password: " + appPassword + ".");
    EXPECT_EQ(words(refused, target(), "the organisation must allow POP3"),
              "The server refused the password for ann. Your provider says: the organisation must allow POP3.");
    EXPECT_EQ(check::troubleOf(loginFailing(LoginFailure::TokenRefused, "the server refused the token (XOAUTH2): NO")),
              Trouble::TokenRefused);
    EXPECT_NE(words(loginFailing(LoginFailure::Unencrypted, "not tried: the password would travel unencrypted"))
                  .find("unencrypted to "
                        "mail.example.test"),
              std::string::npos);
    EXPECT_EQ(check::troubleOf(
                  loginFailing(LoginFailure::NoMechanism, "the server offers neither AUTH PLAIN nor AUTH LOGIN")),
              Trouble::NoLoginMechanism);
}

// The kind of the failure is the probe's value: the words of the detail only follow in brackets.
TEST(CheckWords, AFailedLogInIsToldByItsKindNotByItsWords) {
    using autoconfig::LoginFailure;
    EXPECT_EQ(words(loginFailing(LoginFailure::UserRefused, "-ERR unknown mailbox")),
              "The server does not take the user name ann (-ERR unknown mailbox).");
    EXPECT_EQ(check::troubleOf(loginFailing(LoginFailure::PasswordRefused, "AUTH LOGIN refused: 535")),
              Trouble::PasswordRefused);
    EXPECT_NE(words(loginFailing(LoginFailure::TokenRefused, "535 5.7.8")).find("Sign in at the provider again"),
              std::string::npos);
    EXPECT_EQ(words(loginFailing(LoginFailure::NoMechanism, "nothing usable")),
              "mail.example.test offers no way of logging in that Tarnwick can use (nothing usable).");
    // Words that once told the kind tell nothing now: without a kind the failure is another one.
    EXPECT_EQ(check::troubleOf(failing("login", "the server refused the password: -ERR")), Trouble::Other);
    // The connection lost during the log-in: the server stopped answering.
    ProbeReport lost = loginFailing(LoginFailure::Other, "the server closed the connection");
    lost.streamFailure = plat::StreamFailure::Closed;
    EXPECT_EQ(check::troubleOf(lost), Trouble::NoAnswer);
    EXPECT_EQ(words(lost), "mail.example.test stopped answering during the check (the server closed the connection).");
}

TEST(CheckWords, AServerOfAnotherKindOrWithoutStartTlsIsSaidSo) {
    ProbeReport http = failing("greeting", "HTTP/1.1 400 Bad Request");
    EXPECT_EQ(words(http, target(Protocol::Imap)),
              "mail.example.test does not answer on port 995 as a IMAP server does. Check the port and the "
              "security.");
    ProbeReport silent = failing("greeting", "no answer within 10 s");
    silent.streamFailure = plat::StreamFailure::TimedOut;
    EXPECT_EQ(check::troubleOf(silent), Trouble::NoAnswer);
    EXPECT_EQ(words(silent), "mail.example.test stopped answering during the check (no answer within 10 s).");
    ProbeReport noStls = failing("capabilities", "");
    noStls.steps.back() = {"capabilities", true, "USER", 1};
    noStls.steps.push_back({"starttls", false, "-ERR unknown command", 1});
    EXPECT_EQ(check::troubleOf(noStls), Trouble::NoStartTls);
    EXPECT_NE(words(noStls).find("does not offer STARTTLS on port 995"), std::string::npos);
    noStls.streamFailure = plat::StreamFailure::Broken;  // reset after STLS
    EXPECT_EQ(check::troubleOf(noStls), Trouble::NoAnswer);
    // A line too long is no silence: the server answered, as no mail server does.
    ProbeReport flood = failing("greeting", "a line longer than 64 KiB");
    flood.streamFailure = plat::StreamFailure::LineTooLong;
    EXPECT_EQ(check::troubleOf(flood), Trouble::NotThisProtocol);
    // An unknown step keeps its name and the server's words, shortened.
    ProbeReport odd = failing("capabilities", "CAPA refused: -ERR " + std::string(400, 'x'));
    std::string said = words(odd);
    EXPECT_NE(said.find("failed at the step \"capabilities\" (CAPA refused: -ERR xxx"), std::string::npos) << said;
    EXPECT_LT(said.size(), 300u);
}

TEST(CheckWords, AGoodCheckSaysHowTheConnectionIsProtectedAndWhetherTheLogInWasMade) {
    ProbeReport good = failing("none", "");
    good.steps.pop_back();
    good.haveTls = true;
    good.trusted = true;
    good.tls.version = "TLSv1.3";
    EXPECT_EQ(check::troubleOf(good), Trouble::None);
    EXPECT_EQ(check::successWords(good, target()).toStdString(),
              "All is well: encrypted (TLSv1.3), certificate trusted; log-in accepted for ann.");
    ProbeTarget noLogin = target(Protocol::Smtp);
    noLogin.login = false;
    good.haveTls = false;
    EXPECT_EQ(check::successWords(good, noLogin).toStdString(),
              "All is well: not encrypted; no log-in (no user name is set).");
    EXPECT_NE(check::successWords(good, noLogin, true).toStdString().find("OAuth 2.0 is not tried"), std::string::npos);
}

// ---- The page

ProbeReport allWell() {
    ProbeReport r;
    r.steps.push_back({"connect", true, "", 1});
    r.steps.push_back({"login", true, "", 1});
    return r;
}

// The look-up's answer the wizard turns into the found page: POP3 on loopback, SMTP elsewhere.
autoconfig::Discovery served() {
    autoconfig::Discovery d;
    d.found = true;
    d.settings.provider = "Example Test Mail";
    d.settings.source = "provider table";
    d.settings.note = "app password needed (made in the account's settings)";
    d.settings.incoming.push_back({Protocol::Pop3, "127.0.0.1", 1110, Security::Tls, "ann", false});
    d.settings.outgoing.push_back({Protocol::Smtp, "smtp.example.test", 465, Security::Tls, "ann@example.test", false});
    return d;
}

class WizardCheckTest : public SettingsTest {
protected:
    void SetUp() override {
        SettingsTest::SetUp();
        lookup::setStartHook([this](const autoconfig::MailAddress&, lookup::Answer answer) { answer(found()); });
        check::setStartHook([this](const ProbeTarget& t, check::Answer answer) {
            asked.push_back(t);
            pending.push_back(std::move(answer));
        });
    }
    void TearDown() override {
        lookup::setStartHook({});
        check::setStartHook({});
        check::setTimeLimit({});
        SettingsTest::TearDown();
    }
    // What the look-up finds for the address typed.
    virtual autoconfig::Discovery found() const { return served(); }
    bool run() {
        bool created = false;
        openAddAccountWizard(nullptr, [&](bool c) { created = c; });
        return created;
    }
    static QString result(QDialog& d, int i) {
        auto* l = d.findChild<QLabel*>(QStringLiteral("checkResult%1").arg(i));
        return l ? l->text() : QStringLiteral("(none)");
    }

    std::vector<ProbeTarget> asked;
    std::vector<check::Answer> pending;
};

constexpr int kCheckPage = 5;
constexpr int kClientPage = 2;

TEST_F(WizardCheckTest, ARefusedPasswordHoldsTheWizardUntilBackAndTheRightPasswordPassTheCheck) {
    then([&](QDialog& d) {
        auto& w = dynamic_cast<QWizard&>(d);
        type(d, "emailAddress", "ann@example.test");
        w.next();
        EXPECT_TRUE(pumpUntil([&] { return w.currentId() == 4; }));
        type(d, "foundPassword", "wrong-pw");
        w.next();
        // Both servers are probed at once, each with the log-in; the wizard waits, busy.
        EXPECT_EQ(w.currentId(), kCheckPage);
        EXPECT_EQ(asked.size(), 2u);
        if (asked.size() != 2) return 0;
        EXPECT_EQ(asked[0].protocol, Protocol::Pop3);
        EXPECT_EQ(asked[0].host, "127.0.0.1");
        EXPECT_EQ(asked[0].port, 1110);
        EXPECT_EQ(asked[0].security, Security::Tls);
        EXPECT_TRUE(asked[0].login);
        EXPECT_EQ(asked[0].user, "ann");
        EXPECT_EQ(asked[0].password, "wrong-pw");
        EXPECT_EQ(asked[1].protocol, Protocol::Smtp);
        EXPECT_EQ(asked[1].host, "smtp.example.test");
        EXPECT_EQ(asked[1].user, "ann@example.test");
        EXPECT_EQ(asked[1].password, "wrong-pw");
        EXPECT_TRUE(asked[1].login);
        EXPECT_FALSE(in<QProgressBar>(d, "checkBusy")->isHidden());
        EXPECT_FALSE(w.button(QWizard::NextButton)->isEnabled());

        pending[0](loginFailing(autoconfig::LoginFailure::PasswordRefused,
                                "the server refused the password: -ERR [AUTH] Authentication failed."));
        pending[1](allWell());
        EXPECT_TRUE(in<QProgressBar>(d, "checkBusy")->isHidden());
        EXPECT_EQ(result(d, 0).toStdString(),
                  "The server refused the password for ann. This provider needs an app password: app password "
                  "needed (made in the account's settings).");
        EXPECT_TRUE(result(d, 1).startsWith("All is well")) << result(d, 1).toStdString();
        EXPECT_TRUE(in<QLabel>(d, "checkText")->text().startsWith("The check found a problem."));
        EXPECT_FALSE(w.button(QWizard::NextButton)->isEnabled());
        EXPECT_FALSE(in<QCheckBox>(d, "keepUnchecked")->isHidden());
        w.next();  // refused from code as well
        EXPECT_EQ(w.currentId(), kCheckPage);
        saveScreen(d, "wizard-check-refused.png");

        // Back to the password; a late answer of the first check changes nothing.
        w.back();
        EXPECT_EQ(w.currentId(), 4);
        type(d, "foundPassword", "right-pw");
        w.next();
        EXPECT_EQ(asked.size(), 4u);
        if (asked.size() != 4) return 0;
        EXPECT_EQ(asked[2].password, "right-pw");
        pending[0](allWell());
        EXPECT_FALSE(w.button(QWizard::NextButton)->isEnabled());
        EXPECT_EQ(result(d, 0), "Checking…");
        pending[2](allWell());
        pending[3](allWell());
        EXPECT_TRUE(in<QLabel>(d, "checkText")->text().startsWith("All is well."));
        EXPECT_TRUE(in<QCheckBox>(d, "keepUnchecked")->isHidden());
        EXPECT_TRUE(w.button(QWizard::NextButton)->isEnabled());
        saveScreen(d, "wizard-check-passed.png");
        w.next();
        EXPECT_EQ(w.currentId(), kClientPage);
        press(d, "finish");
        return d.result();
    });
    then([](QDialog& d) { return d.objectName() == "newAccountSettingsDialog" ? 1 : 0; });
    EXPECT_TRUE(run());
    EXPECT_EQ(accountValue("ann", "pass"), "right-pw");
}

// Offline: the probe never answers. The page gives up at its limit and the user keeps the
// account all the same; Cancel while waiting leaves a late answer nothing to fill.
TEST_F(WizardCheckTest, NoAnswerInTimeCanBeSetUpAnywayAndCancelIgnoresALateAnswer) {
    config::writeSetting(config::kOutHostName, std::string("smtp.isp.example"));
    check::setTimeLimit(std::chrono::milliseconds(30));
    then([&](QDialog& d) {
        auto& w = dynamic_cast<QWizard&>(d);
        type(d, "accountTitle", "home");
        w.next();
        type(d, "popServer", "pop.example.net");
        type(d, "popUser", "jo");
        type(d, "popPassword", "pw");
        for (int page = 0; page < 3; ++page) w.next();  // past the outgoing server and fetched mail
        EXPECT_EQ(w.currentId(), kCheckPage);
        // The manual server, and the outgoing host set in Options (no user name: no log-in).
        EXPECT_EQ(asked.size(), 2u);
        if (asked.size() != 2) return 0;
        EXPECT_EQ(asked[0].host, "pop.example.net");
        EXPECT_EQ(asked[0].port, 110);
        EXPECT_EQ(asked[0].password, "pw");
        EXPECT_EQ(asked[1].host, "smtp.isp.example");
        EXPECT_EQ(asked[1].port, 25);
        EXPECT_FALSE(asked[1].login);
        EXPECT_TRUE(pumpUntil([&] { return result(d, 1).startsWith("No answer in time"); }));
        EXPECT_FALSE(w.button(QWizard::NextButton)->isEnabled());
        in<QCheckBox>(d, "keepUnchecked")->setChecked(true);
        EXPECT_TRUE(w.button(QWizard::NextButton)->isEnabled());
        w.next();
        EXPECT_EQ(w.currentId(), kClientPage);
        press(d, "finish");
        return d.result();
    });
    then([](QDialog&) { return 1; });
    EXPECT_TRUE(run());
    EXPECT_EQ(accountValue("home", "server"), "pop.example.net");

    asked.clear();
    pending.clear();
    check::setTimeLimit({});
    then([&](QDialog& d) {
        auto& w = dynamic_cast<QWizard&>(d);
        type(d, "accountTitle", "work");
        w.next();
        type(d, "popServer", "pop.example.net");
        type(d, "popUser", "jw");
        type(d, "popPassword", "pw");
        for (int page = 0; page < 3; ++page) w.next();  // past the outgoing server and fetched mail
        EXPECT_EQ(w.currentId(), kCheckPage);
        press(d, "cancel");
        return d.result();
    });
    EXPECT_FALSE(run());
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_EQ(pending.size(), 2u);
    pending[0](allWell());
    pending[1](allWell());
    QApplication::processEvents();
    EXPECT_FALSE(accountPresent("work"));
}

// The real probe runs on a worker thread and answers through the loop: a server on loopback
// that greets as no mail server does, then a port where nothing listens.
TEST_F(WizardCheckTest, TheRealProbeAnswersThroughTheLoopFromAnotherThread) {
    check::setStartHook({});
    int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof at;
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&at), sizeof at), 0);
    ASSERT_EQ(::listen(listener, 1), 0);
    ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&at), &length), 0);
    ProbeTarget t;
    t.host = "127.0.0.1";
    t.port = ntohs(at.sin_port);
    t.security = Security::None;
    t.stepTimeoutMs = 3000;
    std::optional<ProbeReport> answer;
    Qt::HANDLE answeredOn = nullptr;
    auto ask = [&] {
        answer.reset();
        check::start(t, [&](ProbeReport r) {
            answer = std::move(r);
            answeredOn = QThread::currentThreadId();
        });
    };
    ask();
    EXPECT_FALSE(answer);  // not before the loop has run
    int peer = -1;
    EXPECT_TRUE(pumpUntil([&] {
        if (peer < 0 && (peer = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC)) >= 0) {
            const char greeting[] = "HTTP/1.0 400 Bad Request\r\n";
            EXPECT_GT(::send(peer, greeting, sizeof greeting - 1, MSG_NOSIGNAL), 0);
        }
        return answer.has_value();
    }));
    if (peer >= 0) ::close(peer);
    ::close(listener);
    ASSERT_TRUE(answer);
    EXPECT_EQ(answeredOn, QThread::currentThreadId());
    EXPECT_EQ(check::troubleOf(*answer), Trouble::NotThisProtocol) << answer->failedStep()->detail;

    // Told apart by the fact, not by the system's words for it.
    ask();
    EXPECT_TRUE(pumpUntil([&] { return answer.has_value(); }));
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->connectFailure, plat::ConnectFailure::Refused);
    EXPECT_EQ(check::troubleOf(*answer), Trouble::Refused);
}

// ---- The sign-in of an account that logs in with OAuth 2.0

// The provider's table says the server wants its OAuth 2.0 sign-in.
autoconfig::Discovery servedWithSignIn() {
    autoconfig::Discovery d = served();
    d.settings.oauthPreset = "microsoft";
    d.settings.incoming[0].oauth = true;
    d.settings.note = "the provider asks for OAuth 2.0 sign-in";
    return d;
}

class WizardSignInTest : public WizardCheckTest {
protected:
    autoconfig::Discovery found() const override { return servedWithSignIn(); }

    void signInProgram(int status = 0, int pause = 0) { runs = useSignInStandIn(status, pause); }
    int signIns() {
        std::string text = testsupport::readFile(runs);
        return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
    }
    // From the address to the check page with the sign-in chosen.
    void toCheck(QDialog& d) {
        auto& w = dynamic_cast<QWizard&>(d);
        type(d, "emailAddress", "ann@example.test");
        w.next();
        EXPECT_TRUE(pumpUntil([&] { return w.currentId() == 4; }));
        EXPECT_EQ(in<QComboBox>(d, "foundSignIn")->currentIndex(), 1);  // the provider's sign-in first
        type(d, "foundPassword", "local-pw");
        type(d, "foundClientId", "client-9");
        saveScreen(d, "wizard-found-sign-in.png");
        w.next();
        EXPECT_EQ(w.currentId(), kCheckPage);
    }

    std::string runs;
};

// The sign-in comes before the check, which logs in to both servers with its access token; a
// token the server refuses is dropped, so Check again signs in anew. Finish keeps the refresh
// token for the account (and for the outgoing server it sets up for all), and no sign-in
// follows Finish.
TEST_F(WizardSignInTest, TheCheckSignsInFirstAndLogsInWithTheToken) {
    signInProgram();
    then([&](QDialog& d) {
        auto& w = dynamic_cast<QWizard&>(d);
        toCheck(d);
        EXPECT_TRUE(in<QLabel>(d, "checkText")->text().startsWith("Sign in on the provider's page"));
        EXPECT_FALSE(w.button(QWizard::NextButton)->isEnabled());
        saveScreen(d, "wizard-check-signing-in.png");
        EXPECT_TRUE(pumpUntil([&] { return asked.size() == 2; }));
        EXPECT_EQ(opened, (std::vector<std::string>{"https://login.example/authorize?client_id=c"}));
        EXPECT_EQ(testsupport::readFile(runs), "authorize --print-tokens --preset microsoft --client-id client-9\n");
        if (asked.size() != 2) return 0;
        for (const ProbeTarget& t : asked) {
            EXPECT_TRUE(t.login);
            EXPECT_EQ(t.accessToken, "acc-1");
            EXPECT_EQ(t.password, "");  // the typed password is the local one
        }
        EXPECT_EQ(asked[0].user, "ann");
        EXPECT_EQ(asked[1].user, "ann@example.test");
        ProbeReport refused = failing("login", "the server refused the token: -ERR [AUTH] Authentication failed.");
        refused.loginFailure = autoconfig::LoginFailure::TokenRefused;
        pending[0](refused);
        pending[1](allWell());
        EXPECT_FALSE(w.button(QWizard::NextButton)->isEnabled());
        EXPECT_TRUE(result(d, 0).startsWith("The server refused the sign-in for ann.")) << result(d, 0).toStdString();

        press(d, "checkAgain");
        EXPECT_TRUE(pumpUntil([&] { return asked.size() == 4; }));
        EXPECT_EQ(signIns(), 2);
        if (asked.size() != 4) return 0;
        EXPECT_EQ(asked[2].accessToken, "acc-2");
        pending[2](allWell());
        pending[3](allWell());
        EXPECT_TRUE(in<QLabel>(d, "checkText")->text().startsWith("All is well."));
        EXPECT_TRUE(result(d, 0).startsWith("All is well")) << result(d, 0).toStdString();

        // Back and Next again: the sign-in is still good, only the servers are checked.
        w.back();
        w.next();
        EXPECT_EQ(asked.size(), 6u);
        EXPECT_EQ(signIns(), 2);
        if (asked.size() != 6) return 0;
        EXPECT_EQ(asked[4].accessToken, "acc-2");
        // A server without a token log-in says nothing against the sign-in: it is kept.
        ProbeReport noMechanism = failing("login", "the server offers neither OAUTHBEARER nor XOAUTH2");
        noMechanism.loginFailure = autoconfig::LoginFailure::NoMechanism;
        pending[4](allWell());
        pending[5](noMechanism);
        press(d, "checkAgain");
        EXPECT_EQ(asked.size(), 8u);
        EXPECT_EQ(signIns(), 2);
        if (asked.size() != 8) return 0;
        pending[6](allWell());
        pending[7](allWell());
        w.next();
        EXPECT_EQ(w.currentId(), kClientPage);
        press(d, "finish");
        return d.result();
    });
    then([](QDialog& d) { return d.objectName() == "newAccountSettingsDialog" ? 1 : 0; });
    EXPECT_TRUE(run());
    EXPECT_EQ(signIns(), 2);
    EXPECT_EQ(accountValue("ann", "oauthrefresh"), "ref-2");
    EXPECT_EQ(accountValue("ann", "localpass"), "local-pw");
    EXPECT_EQ(accountValue("ann", "pass"), "");
    config::OAuthSettings account = config::readOAuthSettings("ann");
    EXPECT_EQ(account.auth, config::kAuthOAuth);
    EXPECT_EQ(account.clientId, "client-9");
    EXPECT_NE(account.tokenUrl.find("microsoft"), std::string::npos);
    config::OAuthSettings outgoing = config::readOAuthSettings(config::kOutgoingTarget);
    EXPECT_EQ(outgoing.auth, config::kAuthOAuth);
    EXPECT_EQ(outgoing.refreshToken, "ref-2");
}

// A sign-in that fails is said for each server that needed it, and nothing is probed without
// it; set up anyway, the account still gets its sign-in after Finish.
TEST_F(WizardSignInTest, AFailedSignInIsSaidAndFinishSignsInAgain) {
    signInProgram(4);
    then([&](QDialog& d) {
        auto& w = dynamic_cast<QWizard&>(d);
        toCheck(d);
        EXPECT_TRUE(pumpUntil([&] { return in<QLabel>(d, "checkText")->text().startsWith("The check found"); }));
        EXPECT_TRUE(asked.empty());
        EXPECT_EQ(result(d, 0).toStdString(),
                  "The sign-in at the provider did not succeed: the provider refused the sign-in: access_denied");
        EXPECT_EQ(result(d, 1), result(d, 0));
        saveScreen(d, "wizard-check-sign-in-failed.png");
        in<QCheckBox>(d, "keepUnchecked")->setChecked(true);
        w.next();
        press(d, "finish");
        return d.result();
    });
    then([](QDialog& d) {
        // Its end closes the dialog; no run is left behind for the next test.
        EXPECT_TRUE(pumpUntil([&] { return d.result() == QDialog::Accepted; }));
        return d.objectName() == "signInWaiting" ? 1 : 0;
    });
    then([](QDialog& d) { return d.objectName() == "newAccountSettingsDialog" ? 1 : 0; });
    run();
    EXPECT_EQ(signIns(), 2);
    EXPECT_EQ(takeBoxes().size(), 1u);  // the sign-in after Finish failed too, and says so
    EXPECT_TRUE(accountPresent("ann"));
    EXPECT_EQ(accountValue("ann", "oauthrefresh"), "");
}

// Set up anyway while the browser still waits: Next ends that sign-in, and the one after
// Finish takes its place, one at a time. The outgoing server the account made the one for all
// gets no token from a sign-in that stored none, and the user is told so.
TEST_F(WizardSignInTest, SetUpAnywayEndsAWaitingSignInAndFinishSignsInOnce) {
    signInProgram(0, 30);
    then([&](QDialog& d) {
        auto& w = dynamic_cast<QWizard&>(d);
        toCheck(d);
        EXPECT_TRUE(pumpUntil([&] { return signIns() == 1; }));
        in<QCheckBox>(d, "keepUnchecked")->setChecked(true);
        w.next();
        EXPECT_EQ(w.currentId(), kClientPage);
        press(d, "finish");
        return d.result();
    });
    then([&](QDialog& d) {
        EXPECT_TRUE(pumpUntil([&] { return d.result() == QDialog::Accepted; }));
        return d.objectName() == "signInWaiting" ? 1 : 0;
    });
    then([](QDialog& d) { return d.objectName() == "newAccountSettingsDialog" ? 1 : 0; });
    run();
    EXPECT_TRUE(asked.empty());
    std::string text = testsupport::readFile(runs);
    EXPECT_EQ(text.substr(text.find('\n') + 1), "authorize ann --preset microsoft --client-id client-9\n");
    std::vector<std::string> said = takeBoxes();
    ASSERT_EQ(said.size(), 1u);
    EXPECT_EQ(said[0].rfind("The outgoing server is not signed in yet", 0), 0u) << said[0];
}

// Signing in with OAuth 2.0 needs the provider's endpoints. A new account has none stored, so
// the manual page offers only the presets; a choice without one (none selected) has the
// servers checked without the log-in, and the page says why.
TEST_F(WizardSignInTest, WithoutAProviderToSignInWithTheLogInIsNotTried) {
    signInProgram();
    then([&](QDialog& d) {
        auto& w = dynamic_cast<QWizard&>(d);
        type(d, "accountTitle", "other");
        w.next();
        type(d, "popServer", "pop.example.net");
        type(d, "popUser", "jo");
        type(d, "popPassword", "local-pw");
        in<QComboBox>(d, "signInKind")->setCurrentIndex(1);
        auto* provider = in<QComboBox>(d, "signInProvider");
        EXPECT_EQ(provider->count(), 2);
        EXPECT_EQ(provider->findData(QString()), -1);  // no "Other": nothing stored to use
        provider->setCurrentIndex(-1);
        type(d, "signInClientId", "client-3");
        for (int page = 0; page < 3; ++page) w.next();
        EXPECT_EQ(w.currentId(), kCheckPage);
        EXPECT_EQ(asked.size(), 1u);
        if (asked.size() != 1) return 0;
        EXPECT_FALSE(asked[0].login);
        pending[0](allWell());
        EXPECT_NE(result(d, 0).indexOf("not tried here"), -1) << result(d, 0).toStdString();
        press(d, "cancel");
        return d.result();
    });
    run();
    EXPECT_FALSE(std::filesystem::exists(runs));  // no sign-in was tried
}

}  // namespace
