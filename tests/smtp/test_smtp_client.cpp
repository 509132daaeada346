// The SMTP client's phases against a scripted server on a real loopback socket: what each
// phase puts on the wire, how it reads the replies, and that every phase ends with its notice.
#include "tests/net/mail_client_recorder.h"
#include "net/mail_client_open.h"
#include "smtp/smtp_client.h"
#include "smtp/smtp_close.h"
#include "smtp/smtp_ident.h"
#include "smtp/smtp_send_mail_data.h"
#include "smtp/smtp_send_mail_env.h"
#include "store/addr_list.h"
#include "tests/net/net_fixture.h"
#include "tests/smtp/smtp_peer.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>

#include <string>
#include <vector>

using namespace nettest;
using smtptest::SmtpPeer;

namespace {

struct Notice {
    plat::WPARAM code;
    plat::LPARAM lParam;
    std::string text;  // the refused address of SENDMAILENV_ERROR
    bool operator==(const Notice& o) const { return code == o.code && lParam == o.lParam && text == o.text; }
};
std::vector<Notice> g_notices;
// The owner's reaction, run inside the notice as an owner's would be.
std::function<void(plat::WPARAM)> g_react;

void recordNotice(int code, long value, const std::string& text) {
    g_notices.push_back({static_cast<plat::WPARAM>(code), value, text});
    if (g_react) g_react(static_cast<plat::WPARAM>(code));
}

struct SmtpRecorder : mailtest::Recorder<SMTPClientObserver> {
    using Recorder::Recorder;
    void identified(bool ok) override { tell(ok ? MailClient::IDENT_COMPLETE : MailClient::IDENT_FAIL); }
    void recipientRefused(const std::string& address) override { tell(MailClient::SENDMAILENV_ERROR, 0, address); }
    void envelopeEnded(ItemOutcome o) override {
        if (o == ItemOutcome::Accepted) return tell(MailClient::SENDMAILENV_COMPLETE);
        tell(MailClient::SENDMAILENV_FAIL, outcomeValue(o));
    }
    void textEnded(ItemOutcome o) override {
        if (o == ItemOutcome::Accepted) return tell(MailClient::SENDMAILDATA_COMPLETE);
        tell(MailClient::SENDMAILDATA_FAIL, outcomeValue(o));
    }
};
SmtpRecorder g_recorder(recordNotice);

std::vector<plat::WPARAM> codes() {
    std::vector<plat::WPARAM> out;
    for (const Notice& n : g_notices) out.push_back(n.code);
    return out;
}

class SmtpClientTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_notices.clear();
        g_react = nullptr;
    }
    void TearDown() override {
        g_react = nullptr;
        client.reset();
        Connection::timeoutMs = Connection::kDefaultTimeoutMs;
    }

    template <class Phase, class... Args>
    void run(Phase& phase, Args&&... args) {
        client->setCurrentHandler(&phase);
        phase.start(std::forward<Args>(args)...);
    }
    bool noticed(plat::WPARAM code, int ms = 3000) {
        return waitFor(
            [&] {
                for (const Notice& n : g_notices)
                    if (n.code == code) return true;
                return false;
            },
            ms);
    }
    // Connected to port and identified, notices cleared.
    void identifiedTo(int port) {
        client = std::make_unique<SMTPClient>(&g_recorder, "127.0.0.1", port);
        g_react = [this](plat::WPARAM code) {
            if (code == MailClient::OPEN_COMPLETE) run(client->identHandler());
        };
        run(client->openHandler());
        ASSERT_TRUE(noticed(MailClient::IDENT_COMPLETE));
        g_react = nullptr;
        g_notices.clear();
    }
    void identified() {
        peer.start();
        identifiedTo(peer.port);
    }
    // Three blocks through a 4 KB socket to a peer that pauses (peer.pauseInDataMs): the text
    // waits in transmission, then arrives with every byte once.
    void sendsABigItemThatMustWait() {
        int small = 4096;
        ASSERT_EQ(::setsockopt(client->socket(), SOL_SOCKET, SO_SNDBUF, &small, sizeof small), 0);
        std::string text;
        for (int i = 0; text.size() < 3 * SMTP_SendMailData::kBlockSize; ++i)
            text += "line " + std::to_string(i) + std::string(i % 97, 'x') + "\r\n";
        testsupport::writeFile("big.rfc822", text);
        run(client->dataHandler(), std::string("big.rfc822"));
        // The peer takes nothing for a while: the text waits, the phase stays in transmission.
        plat::pumpMessages(100);
        EXPECT_EQ(client->dataHandler().state(), SMTP_SendMailData::state_TRAN_DATA);
        ASSERT_TRUE(noticed(MailClient::SENDMAILDATA_COMPLETE, 10000));
        ASSERT_EQ(peer.messages().size(), 1u);
        EXPECT_TRUE(peer.messages()[0] == text) << "the text arrived altered";
    }
    std::vector<std::string> commandsAfterHelo() {
        std::vector<std::string> all = peer.commands();
        return std::vector<std::string>(all.begin() + 1, all.end());
    }
    static store::AddrList list(std::initializer_list<const char*> addresses) {
        store::AddrList l;
        for (const char* a : addresses) l.append(a);
        return l;
    }

    SmtpPeer peer;
    std::unique_ptr<SMTPClient> client;
};

TEST_F(SmtpClientTest, AMultiLineGreetingGetsOneEhloAfterItsLastLine) {
    peer.greeting = "220-first\r\n220-second\r\n220 last\r\n";
    peer.answer = [](const std::string& c) { return c.rfind("EHLO", 0) == 0 ? "250-hi\r\n250 ok\r\n" : "250 ok\r\n"; };
    identified();
    EXPECT_EQ(peer.commands(), std::vector<std::string>{"EHLO LOCALHOST"});
}

TEST(SmtpReplyLines, TheCodeAloneOrACodeAndABlankEndAReply) {
    for (const char* final : {"220", "554", "250 ok", "451 ", "250 "})
        EXPECT_TRUE(SMTPPhase::isFinalReplyLine(final)) << final;
    for (const char* more : {"250-ok", "250-", "22", "", "2500", "abc", "25a", "hello there"})
        EXPECT_FALSE(SMTPPhase::isFinalReplyLine(more)) << more;
}

TEST_F(SmtpClientTest, AGreetingTooShortToBeFinalThenSilenceFailsAtTheTimeout) {
    Connection::timeoutMs = 150;
    peer.greeting = "22\r\n";
    peer.start();
    client = std::make_unique<SMTPClient>(&g_recorder, "127.0.0.1", peer.port);
    g_react = [this](plat::WPARAM code) {
        if (code == MailClient::OPEN_COMPLETE) run(client->identHandler());
    };
    run(client->openHandler());
    ASSERT_TRUE(noticed(MailClient::IDENT_FAIL));
    EXPECT_TRUE(peer.commands().empty());
    EXPECT_EQ(client->identHandler().state(), 0);
    // The connection is closed, so closing needs no reply and ends at once.
    g_notices.clear();
    run(client->closeHandler());
    ASSERT_TRUE(noticed(MailClient::FINISHED, 500));
    EXPECT_EQ(codes(), (std::vector<plat::WPARAM>{MailClient::CLOSE_COMPLETE, MailClient::FINISHED}));
}

TEST_F(SmtpClientTest, AReplyThatNeverEndsKeepsTheItemAndEndsTheConnection) {
    std::string endless;
    for (int i = 0; i < 1200; ++i) endless += "250-more\r\n";
    peer.answer = [endless](const std::string& c) {
        return c.rfind("RCPT", 0) == 0 ? endless : SmtpPeer::defaultAnswer(c);
    };
    identified();
    store::AddrList two = list({"<a@x>", "<b@y>"});
    run(client->envelopeHandler(), &two);
    ASSERT_TRUE(noticed(MailClient::SENDMAILENV_FAIL));
    // Cut off, it answers nothing: the lines still to come would be read as the next replies.
    EXPECT_EQ(g_notices, (std::vector<Notice>{{MailClient::SENDMAILENV_FAIL, 1, ""}}));
    EXPECT_EQ(client->socket(), plat::INVALID_SOCKET);
}

TEST_F(SmtpClientTest, AListWithoutRecipientFailsForGoodWithNothingSent) {
    identified();
    store::AddrList one = list({"<a@x>"});
    run(client->envelopeHandler(), &one);
    run(client->envelopeHandler(), nullptr);
    plat::pumpMessages(50);
    EXPECT_EQ(g_notices,
              (std::vector<Notice>{{MailClient::SENDMAILENV_FAIL, 0, ""}, {MailClient::SENDMAILENV_FAIL, 0, ""}}));
    EXPECT_TRUE(commandsAfterHelo().empty());
}

TEST_F(SmtpClientTest, ARefusedRecipientEndsTheEnvelopeAndItsCodeSaysForHowLong) {
    for (const char* code : {"550", "450"}) {
        SCOPED_TRACE(code);
        g_notices.clear();
        SmtpPeer p;
        p.answer = [code](const std::string& c) {
            return c == "RCPT TO: <b@y>" ? std::string(code) + " no such user\r\n" : SmtpPeer::defaultAnswer(c);
        };
        p.start();
        identifiedTo(p.port);
        store::AddrList three = list({"<a@x>", "<a2@y>", "<b@y>", "<c@y>"});
        run(client->envelopeHandler(), &three);
        ASSERT_TRUE(noticed(MailClient::SENDMAILENV_FAIL));
        plat::LPARAM kind = code[0] == '5' ? 0 : 1;
        EXPECT_EQ(g_notices, (std::vector<Notice>{{MailClient::SENDMAILENV_ERROR, 0, "<b@y>"},
                                                  {MailClient::SENDMAILENV_FAIL, kind, ""}}));
        EXPECT_EQ(p.commands(), (std::vector<std::string>{"EHLO LOCALHOST", "RSET", "MAIL FROM: <a@x>",
                                                          "RCPT TO: <a2@y>", "RCPT TO: <b@y>"}));
        EXPECT_EQ(client->envelopeHandler().state(), 0);
        client.reset();
    }
}

TEST_F(SmtpClientTest, AWriteReadyNoticeOutsideTheTextNeitherEndsNorBreaksAPhase) {
    identified();
    store::AddrList two = list({"<a@x>", "<b@y>"});
    run(client->envelopeHandler(), &two);
    EXPECT_EQ(client->dispatcher(Connection::EV_WRITABLE, 0), 0);
    ASSERT_TRUE(noticed(MailClient::SENDMAILENV_COMPLETE));
    EXPECT_EQ(codes(), std::vector<plat::WPARAM>{MailClient::SENDMAILENV_COMPLETE});
    EXPECT_NE(client->socket(), plat::INVALID_SOCKET);
}

TEST_F(SmtpClientTest, OnlyAPermanentRefusalOfTheSenderRefusesTheItem) {
    // 451 is greylisting or a rate limit: the item must survive it.
    for (const auto& [reply, kind] : std::vector<std::pair<std::string, plat::LPARAM>>{
             {"451 try again later", 1}, {"550 sender rejected", 0}, {"421 closing", 1}}) {
        SCOPED_TRACE(reply);
        g_notices.clear();
        SmtpPeer p;
        p.answer = [refusal = reply](const std::string& c) {  // clang cannot capture a binding
            return c.rfind("MAIL", 0) == 0 ? refusal + "\r\n" : SmtpPeer::defaultAnswer(c);
        };
        p.start();
        identifiedTo(p.port);
        store::AddrList two = list({"<a@x>", "<b@y>"});
        run(client->envelopeHandler(), &two);
        ASSERT_TRUE(noticed(MailClient::SENDMAILENV_FAIL));
        EXPECT_EQ(g_notices, (std::vector<Notice>{{MailClient::SENDMAILENV_FAIL, kind, ""}}));
        EXPECT_NE(todaysLog().find("  MAIL HIGH MAILFROM failed: " + reply), std::string::npos);
        client.reset();
    }
}

TEST_F(SmtpClientTest, TheItemGoesOutByteForByteThenTheFinalDot) {
    identified();
    const std::string text = "Subject: dots\r\n\r\n..leading dot doubled\r\n...\r\n8-bit \xe9\xff\r\n" +
                             std::string(5000, 'L') + "\r\nlone\nLF and lone\rCR\r\n";
    testsupport::writeFile("dots.rfc822", text);
    testsupport::writeFile("unended.rfc822", "Subject: x\r\n\r\nno line end");
    testsupport::writeFile("empty.rfc822", "");
    for (const char* item : {"dots.rfc822", "unended.rfc822", "empty.rfc822"}) {
        g_notices.clear();
        run(client->dataHandler(), std::string(item));
        ASSERT_TRUE(noticed(MailClient::SENDMAILDATA_COMPLETE)) << item;
    }
    std::vector<std::string> got = peer.messages();
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0], text);
    // A last line without its end is ended, or the final "." would be part of it.
    EXPECT_EQ(got[1], "Subject: x\r\n\r\nno line end\r\n");
    EXPECT_EQ(got[2], "");
}

TEST_F(SmtpClientTest, ASocketThatBlocksMidItemResumesWithEveryByteOnce) {
    peer.receiveBuffer = 4096;
    peer.pauseInDataMs = 300;
    identified();
    sendsABigItemThatMustWait();
}

TEST_F(SmtpClientTest, AServerThatStopsReadingTheTextEndsThePhaseAtTheTimeout) {
    peer.receiveBuffer = 4096;
    peer.neverReadData = true;
    identified();
    Connection::timeoutMs = 200;
    testsupport::writeFile("huge.rfc822", std::string(8 * 1024 * 1024, 'h'));
    run(client->dataHandler(), std::string("huge.rfc822"));
    ASSERT_TRUE(noticed(MailClient::SENDMAILDATA_FAIL, 5000));
    EXPECT_EQ(g_notices, (std::vector<Notice>{{MailClient::SENDMAILDATA_FAIL, 1, ""}}));
    EXPECT_EQ(client->socket(), plat::INVALID_SOCKET);
}

TEST_F(SmtpClientTest, DataRefusalsAndAMissingFileFailThePhase) {
    peer.answer = [](const std::string& c) { return c == "DATA" ? "451 not now\r\n" : SmtpPeer::defaultAnswer(c); };
    identified();
    testsupport::writeFile("item.rfc822", "x\r\n");
    run(client->dataHandler(), std::string("item.rfc822"));
    ASSERT_TRUE(noticed(MailClient::SENDMAILDATA_FAIL));
    run(client->dataHandler(), std::string("missing.rfc822"));
    plat::pumpMessages(50);
    EXPECT_EQ(codes(), (std::vector<plat::WPARAM>{MailClient::SENDMAILDATA_FAIL, MailClient::SENDMAILDATA_FAIL}));
    EXPECT_EQ(commandsAfterHelo(), std::vector<std::string>{"DATA"});
    std::string log = todaysLog();
    EXPECT_NE(log.find("  MAIL HIGH DATA command failed : 451 not now"), std::string::npos);
    EXPECT_NE(log.find("   APP HIGH DATA file open failure"), std::string::npos);
}

TEST_F(SmtpClientTest, ANegativeQuitStillClosesAndFinishes) {
    peer.answer = [](const std::string& c) { return c == "QUIT" ? "500 what\r\n" : SmtpPeer::defaultAnswer(c); };
    identified();
    run(client->closeHandler());
    ASSERT_TRUE(noticed(MailClient::FINISHED));
    EXPECT_EQ(codes(), (std::vector<plat::WPARAM>{MailClient::CLOSE_COMPLETE, MailClient::FINISHED}));
    EXPECT_EQ(client->socket(), plat::INVALID_SOCKET);
    EXPECT_NE(todaysLog().find("  MAIL HIGH SMTP Client close : negative response 500 what"), std::string::npos);
}

TEST_F(SmtpClientTest, AServerThatDropsTheConnectionFailsEachPhaseOnce) {
    peer.answer = [](const std::string& c) { return c == "RSET" ? "" : SmtpPeer::defaultAnswer(c); };
    identified();
    Connection::timeoutMs = 150;
    store::AddrList two = list({"<a@x>", "<b@y>"});
    run(client->envelopeHandler(), &two);
    ASSERT_TRUE(noticed(MailClient::SENDMAILENV_FAIL));
    EXPECT_EQ(g_notices, (std::vector<Notice>{{MailClient::SENDMAILENV_FAIL, 1, ""}}));
    // Later phases on the dead connection fail at once instead of waiting.
    g_notices.clear();
    run(client->envelopeHandler(), &two);
    testsupport::writeFile("item.rfc822", "x\r\n");
    run(client->dataHandler(), std::string("item.rfc822"));
    plat::pumpMessages(20);
    EXPECT_EQ(g_notices,
              (std::vector<Notice>{{MailClient::SENDMAILENV_FAIL, 1, ""}, {MailClient::SENDMAILDATA_FAIL, 1, ""}}));
}

TEST_F(SmtpClientTest, AConnectThatNeverEndsGivesOpenFailAtTheTimeout) {
    // A listener whose queue of pending connections is full drops further attempts unanswered.
    RawListener full;
    ::listen(full.fd, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    sa.sin_port = htons(static_cast<std::uint16_t>(full.port));
    std::vector<int> fillers;
    for (int i = 0; i < 4; ++i) {
        int f = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
        ::connect(f, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
        fillers.push_back(f);
    }
    Connection::timeoutMs = 300;
    client = std::make_unique<SMTPClient>(&g_recorder, "127.0.0.1", full.port);
    run(client->openHandler());
    ASSERT_TRUE(noticed(MailClient::OPEN_FAIL, 3000));
    EXPECT_EQ(codes(), std::vector<plat::WPARAM>{MailClient::OPEN_FAIL});
    plat::pumpMessages(100);
    EXPECT_EQ(codes(), std::vector<plat::WPARAM>{MailClient::OPEN_FAIL});  // nothing late
    for (int f : fillers) ::close(f);
}

}  // namespace

// ---- Identification with the service extensions: EHLO, STARTTLS, AUTH

namespace {

// Answers EHLO with the given extension lines (the last one final), AUTH as told, and the
// log-in prompts of AUTH LOGIN.
SmtpPeer::Answer extensions(std::vector<std::string> lines, std::string authReply = "235 2.7.0 ok\r\n") {
    return [lines, authReply](const std::string& c) -> std::string {
        if (c.rfind("EHLO", 0) == 0) {
            std::string reply = "250-provider\r\n";
            for (std::size_t i = 0; i < lines.size(); ++i)
                reply += (i + 1 == lines.size() ? "250 " : "250-") + lines[i] + "\r\n";
            return lines.empty() ? "250 provider\r\n" : reply;
        }
        if (c == "AUTH LOGIN") return "334 VXNlcm5hbWU6\r\n";
        if (c == "YW5u") return "334 UGFzc3dvcmQ6\r\n";  // "ann": the password is asked next
        if (c.rfind("AUTH PLAIN", 0) == 0 || c == "cHc=") return authReply;
        return SmtpPeer::defaultAnswer(c);
    };
}

}  // namespace

class SmtpLoginTest : public SmtpClientTest {
protected:
    // Opens and identifies with the given settings; the notices of identification.
    std::vector<plat::WPARAM> identify(Security security, const std::string& user, const std::string& password) {
        peer.start();
        client = std::make_unique<SMTPClient>(&g_recorder, "127.0.0.1", peer.port);
        client->setSecurity(security, user, password, "");
        g_react = [this](plat::WPARAM code) {
            if (code == MailClient::OPEN_COMPLETE) run(client->identHandler());
        };
        run(client->openHandler());
        waitFor([] {
            for (const Notice& n : g_notices)
                if (n.code == MailClient::IDENT_COMPLETE || n.code == MailClient::IDENT_FAIL) return true;
            return false;
        });
        g_react = nullptr;
        std::vector<plat::WPARAM> out = codes();
        EXPECT_EQ(client->identHandler().state(), 0);
        return out;
    }
    const std::vector<plat::WPARAM> kComplete{MailClient::OPEN_COMPLETE, MailClient::IDENT_COMPLETE};
    const std::vector<plat::WPARAM> kFail{MailClient::OPEN_COMPLETE, MailClient::IDENT_FAIL};
};

TEST_F(SmtpLoginTest, AUserNameBringsEhloAndAuthPlainReadFromAMultiLineReply) {
    peer.answer = extensions({"SIZE 1000000", "auth login plain", "8BITMIME"});
    EXPECT_EQ(identify(Security::None, "ann", "pw"), kComplete);
    // base64 of NUL "ann" NUL "pw"
    EXPECT_EQ(peer.commands(), (std::vector<std::string>{"EHLO LOCALHOST", "AUTH PLAIN AGFubgBwdw=="}));
}

TEST_F(SmtpLoginTest, AuthLoginWhereOnlyTheOldFormOffersIt) {
    peer.answer = extensions({"AUTH=LOGIN"});
    EXPECT_EQ(identify(Security::None, "ann", "pw"), kComplete);
    EXPECT_EQ(peer.commands(), (std::vector<std::string>{"EHLO LOCALHOST", "AUTH LOGIN", "YW5u", "cHc="}));
}

TEST_F(SmtpLoginTest, ARefusedLogInFailsIdentificationAndSendsNothingMore) {
    peer.answer = extensions({"AUTH PLAIN"}, "535 5.7.8 no\r\n");
    EXPECT_EQ(identify(Security::None, "ann", "pw"), kFail);
    EXPECT_EQ(peer.commands().size(), 2u);
}

TEST_F(SmtpLoginTest, NoMechanismItKnowsMeansNoPasswordSent) {
    peer.answer = extensions({"AUTH CRAM-MD5 XOAUTH2", "AUTHX PLAIN"});
    EXPECT_EQ(identify(Security::None, "ann", "pw"), kFail);
    EXPECT_EQ(peer.commands(), std::vector<std::string>{"EHLO LOCALHOST"});
}

TEST_F(SmtpLoginTest, StartTlsNotOfferedEndsBeforeTheLogIn) {
    peer.answer = extensions({"AUTH PLAIN", "STARTTLSX"});
    EXPECT_EQ(identify(Security::StartTls, "ann", "pw"), kFail);
    EXPECT_EQ(peer.commands(), std::vector<std::string>{"EHLO LOCALHOST"});
}

TEST_F(SmtpLoginTest, ARefusedStartTlsEndsBeforeTheLogIn) {
    auto base = extensions({"STARTTLS", "AUTH PLAIN"});
    peer.answer = [base](const std::string& c) {
        return c == "STARTTLS" ? std::string("454 4.7.0 not now\r\n") : base(c);
    };
    EXPECT_EQ(identify(Security::StartTls, "ann", "pw"), kFail);
    EXPECT_EQ(peer.commands(), (std::vector<std::string>{"EHLO LOCALHOST", "STARTTLS"}));
}

TEST_F(SmtpLoginTest, WithoutUserOrSecurityEhloIsSentAndHeloFollowsOnlyAPermanentRefusal) {
    peer.answer = extensions({"AUTH PLAIN"});
    EXPECT_EQ(identify(Security::None, "", "pw"), kComplete);
    EXPECT_EQ(peer.commands(), std::vector<std::string>{"EHLO LOCALHOST"});
    struct Case {
        const char* ehloReply;
        const char* user;
        std::vector<std::string> sent;
        bool identified;
    };
    const Case cases[] = {
        {"500 5.5.1 what?\r\n", "", {"EHLO LOCALHOST", "HELO LOCALHOST"}, true},
        {"502 not implemented\r\n", "", {"EHLO LOCALHOST", "HELO LOCALHOST"}, true},
        // A log-in needs the extensions; a passing refusal is not an old server.
        {"500 5.5.1 what?\r\n", "ann", {"EHLO LOCALHOST"}, false},
        {"421 busy\r\n", "", {"EHLO LOCALHOST"}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.ehloReply) + c.user);
        g_notices.clear();
        SmtpPeer p;
        std::string refusal = c.ehloReply;
        p.answer = [refusal](const std::string& line) {
            return line.rfind("EHLO", 0) == 0 ? refusal : SmtpPeer::defaultAnswer(line);
        };
        p.start();
        client = std::make_unique<SMTPClient>(&g_recorder, "127.0.0.1", p.port);
        client->setSecurity(Security::None, c.user, "pw", "");
        g_react = [this](plat::WPARAM code) {
            if (code == MailClient::OPEN_COMPLETE) run(client->identHandler());
        };
        run(client->openHandler());
        ASSERT_TRUE(noticed(c.identified ? MailClient::IDENT_COMPLETE : MailClient::IDENT_FAIL));
        g_react = nullptr;
        EXPECT_EQ(p.commands(), c.sent);
        EXPECT_FALSE(client->pipelining());
        client.reset();
    }
}

TEST_F(SmtpLoginTest, APlainServerAnsweringATlsClientFailsTheHandshakeWithNothingSent) {
    // Its greeting is no TLS record.
    EXPECT_EQ(identify(Security::Tls, "ann", "pw"), kFail);
    EXPECT_EQ(client->socket(), plat::INVALID_SOCKET);
    EXPECT_NE(client->tlsFailure().find("TLS handshake with 127.0.0.1 failed"), std::string::npos)
        << client->tlsFailure();
}

TEST_F(SmtpLoginTest, AHandshakeLeftHalfwayEndsAtTheTimeout) {
    // The start of a record that never comes whole: the wait is still timed.
    Connection::timeoutMs = 300;
    peer.greeting = std::string("\x16\x03\x03\x00\x40", 5);
    EXPECT_EQ(identify(Security::Tls, "ann", "pw"), kFail);
    EXPECT_TRUE(peer.commands().empty());
}

TEST_F(SmtpLoginTest, AnItemOverTlsThatBlocksMidWayResumesWithEveryByteOnce) {
    // A server certificate for 127.0.0.1 that only the CA file makes trusted.
    ASSERT_EQ(std::system("openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes"
                          " -keyout peer.key -out peer.pem -days 2 -subj /CN=127.0.0.1"
                          " -addext subjectAltName=IP:127.0.0.1 >/dev/null 2>&1"),
              0);
    peer.tlsCert = "peer.pem";
    peer.tlsKey = "peer.key";
    peer.receiveBuffer = 4096;
    peer.pauseInDataMs = 300;
    peer.start();
    client = std::make_unique<SMTPClient>(&g_recorder, "127.0.0.1", peer.port);
    client->setSecurity(Security::Tls, "", "", "peer.pem");
    g_react = [this](plat::WPARAM code) {
        if (code == MailClient::OPEN_COMPLETE) run(client->identHandler());
    };
    run(client->openHandler());
    ASSERT_TRUE(noticed(MailClient::IDENT_COMPLETE)) << client->tlsFailure();
    g_react = nullptr;
    EXPECT_TRUE(client->secured());
    sendsABigItemThatMustWait();
    EXPECT_EQ(peer.commands(), (std::vector<std::string>{"EHLO LOCALHOST", "DATA"}));
}
