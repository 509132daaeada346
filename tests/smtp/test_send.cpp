// The send driver over a real connection to a scripted server: which notices the owner gets,
// in which order, and which queued files are left afterwards.
#include "net/connection.h"
#include "platform/files.h"
#include "smtp/send.h"
#include "store/addr_list.h"
#include "tests/net/net_fixture.h"
#include "tests/smtp/smtp_peer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <sys/stat.h>
#include <string>
#include <vector>

using namespace nettest;
using smtptest::SmtpPeer;

namespace {

struct OwnerNotice {
    int code;
    std::string path;  // itemRefused: the path it carried
    bool itemPresent;  // itemRefused: whether the item file still existed during the call
    std::string reply;  // itemRefused: the server's refusal after the path's NUL
};
std::vector<OwnerNotice> g_owner;
// What the send phase told, as codes a test can list.
const struct Told {
    int itemFailed = 1;
    int itemSent = 2;
    int sendFailed = 3;
    int itemRefused = 4;
    int finished = 99;
} kTold;

struct Recorder : SendObserver {
    void itemSent() override { g_owner.push_back({kTold.itemSent, "", false, ""}); }
    void itemFailed() override { g_owner.push_back({kTold.itemFailed, "", false, ""}); }
    void itemRefused(const std::string& path, const std::string& reply) override {
        g_owner.push_back({kTold.itemRefused, path, plat::fileExists(path), reply});
    }
    void connectionFailed() override { g_owner.push_back({kTold.sendFailed, "", false, ""}); }
    void sendFinished() override { g_owner.push_back({kTold.finished, "", false, ""}); }
} g_recorder;

std::vector<int> ownerCodes() {
    std::vector<int> out;
    for (const OwnerNotice& n : g_owner) out.push_back(n.code);
    return out;
}

long countOf(int code) {
    std::vector<int> codes = ownerCodes();
    return std::count(codes.begin(), codes.end(), code);
}

class SendTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_owner.clear();
        queue = testsupport::makeTempDir("queue-");
    }
    void TearDown() override { Connection::timeoutMs = Connection::kDefaultTimeoutMs; }

    // Queues an item: its text, and a routing file with these addresses.
    std::string enqueue(const std::string& name, const std::string& text, std::vector<std::string> addresses) {
        testsupport::writeFile(queue + "/" + name, text);
        store::AddrList list;
        for (const std::string& a : addresses) list.append(a);
        EXPECT_TRUE(list.save(queue + "/" + name + ".route"));
        return name;
    }
    std::vector<std::string> queued() {
        std::vector<std::string> names;
        for (const plat::DirEntry& e : plat::listFiles(queue, "")) names.push_back(e.name);
        std::sort(names.begin(), names.end());
        return names;
    }
    // Runs a send phase to its finished notice.
    void deliver(int port, const char* host = "127.0.0.1") {
        Send send(host, port, &g_recorder);
        send.start(queue + "/");
        ASSERT_TRUE(waitFor([] { return countOf(kTold.finished) > 0; }, 8000));
        plat::pumpMessages(50);  // nothing may follow finished
    }

    std::string queue;
    SmtpPeer peer;
};

TEST_F(SendTest, AnEmptyQueueFinishesOnceWithoutConnecting) {
    peer.start();
    deliver(peer.port);
    EXPECT_EQ(ownerCodes(), std::vector<int>{kTold.finished});
    EXPECT_EQ(peer.connections(), 0);
}

TEST_F(SendTest, ADeliveredItemAndARefusedOneBothLeaveTheQueue) {
    peer.answer = [](const std::string& c) {
        return c == "RCPT TO: <nobody@y>" ? "550 no such user\r\n" : SmtpPeer::defaultAnswer(c);
    };
    peer.start();
    // The queue lists in directory order: deliver both and look at what each got.
    enqueue("1.rfc822", "Subject: one\r\n\r\nfirst\r\n", {"<a@x>", "<b@y>"});
    enqueue("2.rfc822", "Subject: two\r\n\r\nsecond\r\n", {"<a@x>", "<b@y>", "<nobody@y>", "<c@y>"});
    deliver(peer.port);
    std::vector<int> codes = ownerCodes();
    int sent = kTold.itemSent, refused = kTold.itemRefused, failed = kTold.itemFailed;
    // itemRefused comes right before its itemFailed, while the item is still there.
    auto at = std::find(codes.begin(), codes.end(), refused);
    ASSERT_NE(at, codes.end());
    ASSERT_EQ(*(at + 1), failed);
    EXPECT_EQ(countOf(sent), 1);
    EXPECT_EQ(codes.size(), 4u);
    EXPECT_EQ(codes.back(), kTold.finished);
    const OwnerNotice& r = *std::find_if(g_owner.begin(), g_owner.end(), [&](auto& n) { return n.code == refused; });
    EXPECT_EQ(r.path, queue + "//2.rfc822");
    EXPECT_TRUE(r.itemPresent);
    EXPECT_TRUE(queued().empty());
    std::vector<std::string> cmds = peer.commands();
    EXPECT_EQ(cmds.back(), "QUIT");
    EXPECT_EQ(std::count(cmds.begin(), cmds.end(), "RCPT TO: <c@y>"), 0);
    EXPECT_EQ(std::count(cmds.begin(), cmds.end(), "RSET"), 2);
    ASSERT_EQ(peer.messages().size(), 1u);
    EXPECT_EQ(peer.messages()[0], "Subject: one\r\n\r\nfirst\r\n");
    EXPECT_NE(todaysLog().find("  MAIL HIGH Mail item envelope recipient NOT accepted : <nobody@y>"),
              std::string::npos);
    EXPECT_NE(todaysLog().find("  MAIL  MED OUTGOING SENT : " + queue + "//1.rfc822"), std::string::npos);
}

TEST_F(SendTest, TransientFailuresKeepTheItem) {
    // Each server refuses one step for now; the item and its routing file stay.
    for (const char* step : {"DATA", "MAIL FROM: <a@x>", "RCPT TO: <b@y>", "RSET"}) {
        SCOPED_TRACE(step);
        g_owner.clear();
        SmtpPeer p;
        p.answer = [step](const std::string& c) { return c == step ? "451 not now\r\n" : SmtpPeer::defaultAnswer(c); };
        p.start();
        enqueue("kept.rfc822", "x\r\n", {"<a@x>", "<b@y>"});
        deliver(p.port);
        EXPECT_EQ(ownerCodes(), (std::vector<int>{kTold.itemFailed, kTold.finished}));
        EXPECT_EQ(queued(), (std::vector<std::string>{"kept.rfc822", "kept.rfc822.route"}));
        EXPECT_TRUE(p.messages().empty());
    }
}

TEST_F(SendTest, ASenderRefusedForGoodRefusesTheItem) {
    peer.answer = [](const std::string& c) {
        return c.rfind("MAIL", 0) == 0 ? "553 bad sender\r\n" : SmtpPeer::defaultAnswer(c);
    };
    peer.start();
    enqueue("gone.rfc822", "x\r\n", {"<a@x>", "<b@y>"});
    deliver(peer.port);
    EXPECT_EQ(ownerCodes(), (std::vector<int>{kTold.itemRefused, kTold.itemFailed, kTold.finished}));
    EXPECT_TRUE(queued().empty());
}

TEST_F(SendTest, AMessageRefusedForGoodIsReportedWithTheServersReplyAndRemoved) {
    // 554 to DATA, and a two-line 552 to the final ".": the whole reply reaches the owner.
    struct Case {
        const char* dataCommandReply;
        const char* endReply;
        const char* expected;
    };
    for (const Case& c : {Case{"554 5.7.1 spam\r\n", "250 queued\r\n", "554 5.7.1 spam\r\n"},
                          Case{"354 go ahead\r\n", "552-5.3.4 too big\r\n552 5.3.4 limit 1 MB\r\n",
                               "552-5.3.4 too big\r\n552 5.3.4 limit 1 MB\r\n"}}) {
        SCOPED_TRACE(c.expected);
        g_owner.clear();
        SmtpPeer p;
        std::string dataCommandReply = c.dataCommandReply;
        p.answer = [dataCommandReply](const std::string& cmd) {
            return cmd == "DATA" ? dataCommandReply : SmtpPeer::defaultAnswer(cmd);
        };
        p.dataReply = c.endReply;
        p.start();
        enqueue("big.rfc822", "Subject: big\r\n\r\nx\r\n", {"<a@x>", "<b@y>"});
        deliver(p.port);
        EXPECT_EQ(ownerCodes(), (std::vector<int>{kTold.itemRefused, kTold.itemFailed, kTold.finished}));
        ASSERT_FALSE(g_owner.empty());
        EXPECT_EQ(g_owner[0].path, queue + "//big.rfc822");
        EXPECT_EQ(g_owner[0].reply, c.expected);
        EXPECT_TRUE(g_owner[0].itemPresent);
        EXPECT_TRUE(queued().empty());
    }
    std::string log = todaysLog();
    EXPECT_NE(log.find("  MAIL HIGH Mail item refused : " + queue + "//big.rfc822 : 554 5.7.1 spam\n"),
              std::string::npos);
    EXPECT_NE(log.find("  MAIL HIGH Mail item refused : " + queue +
                       "//big.rfc822 : 552-5.3.4 too big 552 5.3.4 limit 1 MB\n"),
              std::string::npos);
}

TEST_F(SendTest, ALongRefusalReachesTheOwnerWholeAndAnEndlessOneByItsStart) {
    // A 2,000-byte line inside a multi-line reply comes whole; a line of megabytes is read to
    // its end and only its start is kept, and the next item still goes out on that connection.
    const std::string longLine = "554-5.7.1 " + std::string(2000, 'a');
    const std::string endless = "554 5.7.1 " + std::string(3 * 1024 * 1024, 'b');
    struct Case {
        std::string endReply;
        std::string expected;
    };
    for (const Case& c : {Case{longLine + "\r\n554 5.7.1 see above\r\n", longLine + "\r\n554 5.7.1 see above\r\n"},
                          Case{endless + "\r\n", endless.substr(0, 8 * 1024) + "\r\n"}}) {
        SCOPED_TRACE(c.endReply.size());
        g_owner.clear();
        SmtpPeer p;
        std::string endReply = c.endReply;
        p.textAnswer = [endReply](const std::string& text) {
            return text.find("refuse me") != std::string::npos ? endReply : std::string("250 queued\r\n");
        };
        p.start();
        enqueue("a.rfc822", "Subject: refuse me\r\n\r\nx\r\n", {"<a@x>", "<b@y>"});
        enqueue("b.rfc822", "Subject: fine\r\n\r\nx\r\n", {"<a@x>", "<b@y>"});
        deliver(p.port);
        ASSERT_EQ(countOf(kTold.itemRefused), 1);
        auto refusal = std::find_if(g_owner.begin(), g_owner.end(),
                                    [](auto& n) { return n.code == kTold.itemRefused; });
        EXPECT_EQ(refusal->reply, c.expected);
        EXPECT_EQ(countOf(kTold.itemSent), 1);
        EXPECT_TRUE(queued().empty());
        EXPECT_EQ(p.connections(), 1);
    }
    std::string log = todaysLog();
    EXPECT_NE(log.find(" : " + longLine + " 554 5.7.1 see above\n"), std::string::npos);
    EXPECT_NE(log.find(" : " + endless.substr(0, 8 * 1024) + "\n"), std::string::npos);
}

TEST_F(SendTest, OnlyATwoHundredReplyToTheEndOfTheTextDelivers) {
    // A refusal for now, and a reply that accepts nothing, both keep the item for the next cycle.
    for (const char* endReply : {"451 4.3.0 try later\r\n", "354 more please\r\n"}) {
        SCOPED_TRACE(endReply);
        g_owner.clear();
        SmtpPeer p;
        p.dataReply = endReply;
        p.start();
        enqueue("kept.rfc822", "x\r\n", {"<a@x>", "<b@y>"});
        deliver(p.port);
        EXPECT_EQ(ownerCodes(), (std::vector<int>{kTold.itemFailed, kTold.finished}));
        EXPECT_EQ(queued(), (std::vector<std::string>{"kept.rfc822", "kept.rfc822.route"}));
    }
}

TEST_F(SendTest, ARecipientRefusedForGoodCarriesItsReply) {
    peer.answer = [](const std::string& c) {
        return c == "RCPT TO: <nobody@y>" ? "550 5.1.1 <nobody@y>: Recipient address rejected\r\n"
                                          : SmtpPeer::defaultAnswer(c);
    };
    peer.start();
    enqueue("r.rfc822", "x\r\n", {"<a@x>", "<nobody@y>"});
    // Refused by the routing file alone: no server reply to carry.
    enqueue("s.rfc822", "x\r\n", {"<a@x>"});
    deliver(peer.port);
    ASSERT_EQ(countOf(kTold.itemRefused), 2);
    for (const OwnerNotice& n : g_owner) {
        if (n.code != kTold.itemRefused) continue;
        bool rcpt = n.path == queue + "//r.rfc822";
        EXPECT_EQ(n.reply, rcpt ? "550 5.1.1 <nobody@y>: Recipient address rejected\r\n" : "") << n.path;
    }
}

TEST_F(SendTest, AnUnreachableHostFailsTheSendAndTouchesNothing) {
    enqueue("wait.rfc822", "x\r\n", {"<a@x>", "<b@y>"});
    int closedPort;
    {
        RawListener gone;
        closedPort = gone.port;
    }
    for (const char* host : {"127.0.0.1", "no-such-host.invalid"}) {
        g_owner.clear();
        deliver(closedPort, host);
        EXPECT_EQ(ownerCodes(), (std::vector<int>{kTold.sendFailed, kTold.finished})) << host;
    }
    EXPECT_EQ(queued(), (std::vector<std::string>{"wait.rfc822", "wait.rfc822.route"}));
}

TEST_F(SendTest, AServerThatNeverGreetsFailsTheSendAtTheTimeout) {
    Connection::timeoutMs = 150;
    peer.greeting = "";
    peer.start();
    enqueue("wait.rfc822", "x\r\n", {"<a@x>", "<b@y>"});
    deliver(peer.port);
    EXPECT_EQ(ownerCodes(), (std::vector<int>{kTold.sendFailed, kTold.finished}));
    EXPECT_EQ(queued().size(), 2u);
}

TEST_F(SendTest, BrokenQueueEntriesAreKeptUnlessTheirEnvelopeNamesNoRecipient) {
    peer.start();
    // A routing file without its item: the data phase fails, the routing file stays.
    enqueue("orphan.rfc822", "", {"<a@x>", "<b@y>"});
    plat::deleteFile(queue + "/orphan.rfc822");
    // A routing file cut short (count 3, one address): the envelope is unknown, so it waits.
    enqueue("short.rfc822", "x\r\n", {"<a@x>", "<b@y>", "<c@y>"});
    std::string route = testsupport::readFile(queue + "/short.rfc822.route");
    testsupport::writeFile(queue + "/short.rfc822.route", route.substr(0, 4 + 4 + 5));
    // A routing file read whole that holds only the sender: refused for good.
    enqueue("lonely.rfc822", "x\r\n", {"<a@x>"});
    deliver(peer.port);
    EXPECT_EQ(countOf(kTold.itemFailed), 3);
    EXPECT_EQ(countOf(kTold.itemRefused), 1);
    EXPECT_EQ(queued(), (std::vector<std::string>{"orphan.rfc822.route", "short.rfc822", "short.rfc822.route"}));
    EXPECT_TRUE(peer.messages().empty());
    std::string log = todaysLog();
    EXPECT_NE(log.find("   APP HIGH DATA file open failure"), std::string::npos);
    EXPECT_NE(log.find("  MAIL HIGH Routing file unreadable, mail item kept in the queue : " + queue +
                       "//short.rfc822.route"),
              std::string::npos);
}

}  // namespace

// ---- Servers that take commands in groups (PIPELINING)

namespace {
const char kPipelining[] = "250-provider\r\n250-SIZE 1000000\r\n250 PIPELINING\r\n";
}

TEST_F(SendTest, APipeliningServerGetsEachEnvelopeBehindThePreviousTextAndQuitBehindTheLast) {
    peer.ehloReply = kPipelining;
    peer.start();
    enqueue("1.rfc822", "Subject: one\r\n\r\n.dot\r\n", {"<a@x>", "<b@y>"});
    enqueue("2.rfc822", "Subject: two\r\n\r\ntwo\r\n", {"<a@x>", "<b@y>", "<c@y>"});
    enqueue("3.rfc822", "Subject: three\r\n\r\nthree", {"<a@x>", "<c@y>"});
    deliver(peer.port);
    EXPECT_EQ(countOf(kTold.itemSent), 3);
    EXPECT_TRUE(queued().empty());
    // The queue lists in directory order: the expected writes follow the order of arrival.
    const std::map<std::string, std::string> envelopeOf = {
        {"Subject: one\r\n\r\n.dot\r\n", "MAIL FROM: <a@x>\r\nRCPT TO: <b@y>\r\nDATA\r\n"},
        {"Subject: two\r\n\r\ntwo\r\n", "MAIL FROM: <a@x>\r\nRCPT TO: <b@y>\r\nRCPT TO: <c@y>\r\n"},
        {"Subject: three\r\n\r\nthree\r\n", "MAIL FROM: <a@x>\r\nRCPT TO: <c@y>\r\nDATA\r\n"},
    };
    std::vector<std::string> texts = peer.messages();
    ASSERT_EQ(texts.size(), 3u);
    // One write per wait: no RSET, since each reply to a "." ends its transaction; an item of
    // two recipients waits for their replies before DATA; the last text carries QUIT.
    std::vector<std::string> expected{envelopeOf.at(texts[0])};
    for (std::size_t i = 0; i < texts.size(); ++i) {
        if (envelopeOf.at(texts[i]).find("DATA") == std::string::npos) expected.push_back("DATA\r\n");
        expected.push_back(texts[i] + ".\r\n" + (i + 1 < texts.size() ? envelopeOf.at(texts[i + 1]) : "QUIT\r\n"));
    }
    std::vector<std::string> reads = peer.reads();
    ASSERT_GE(reads.size(), 1u);
    EXPECT_EQ(reads[0].rfind("EHLO ", 0), 0u);
    EXPECT_EQ(std::vector<std::string>(reads.begin() + 1, reads.end()), expected);
}

TEST_F(SendTest, AnOddReplyToTheTextGivesUpTheEnvelopeSentBehindIt) {
    // "354" to a "." leaves the server's state unknown: the envelope that went with it is not
    // read as answered, and both items wait for the next cycle.
    peer.ehloReply = kPipelining;
    peer.textAnswer = [](const std::string&) { return std::string("354 more?\r\n"); };
    peer.start();
    enqueue("1.rfc822", "x\r\n", {"<a@x>", "<b@y>"});
    enqueue("2.rfc822", "y\r\n", {"<a@x>", "<c@y>"});
    deliver(peer.port);
    EXPECT_EQ(countOf(kTold.itemSent), 0);
    EXPECT_EQ(countOf(kTold.itemRefused), 0);
    EXPECT_EQ(queued(), (std::vector<std::string>{"1.rfc822", "1.rfc822.route", "2.rfc822", "2.rfc822.route"}));
    EXPECT_EQ(peer.messages().size(), 1u);
}

TEST_F(SendTest, TheSessionEndsAtTheReplyToQuitEvenIfTheServerStaysConnected) {
    for (bool grouped : {false, true}) {
        SCOPED_TRACE(grouped ? "pipelined" : "one at a time");
        g_owner.clear();
        SmtpPeer p;
        if (grouped) p.ehloReply = kPipelining;
        p.holdAfterQuit = true;
        p.start();
        enqueue("1.rfc822", "x\r\n", {"<a@x>", "<b@y>"});
        Connection::timeoutMs = 20000;  // far beyond deliver()'s own wait
        deliver(p.port);
        EXPECT_EQ(ownerCodes(), (std::vector<int>{kTold.itemSent, kTold.finished}));
        EXPECT_EQ(p.commands().back(), "QUIT");
    }
}

TEST_F(SendTest, EveryReplyRuleGivesTheSameNoticesAndQueueWithPipelining) {
    struct Outcome {
        std::vector<int> codes;
        std::vector<std::string> refusals;
        std::vector<std::string> queued;
        std::size_t delivered;
        bool operator==(const Outcome&) const = default;
    };
    struct Case {
        const char* name;
        std::vector<std::string> addresses;  // of the first item; the second goes to <a@x> <b@y>
        std::string refusedCommand;
        std::string refusal;
    };
    const Case cases[] = {
        {"second recipient refused for good",
         {"<a@x>", "<b@y>", "<no@y>", "<c@y>"},
         "RCPT TO: <no@y>",
         "550 5.1.1 no\r\n"},
        {"only recipient refused for now", {"<a@x>", "<no@y>"}, "RCPT TO: <no@y>", "450 4.2.0 later\r\n"},
        {"sender refused for now", {"<s@x>", "<b@y>"}, "MAIL FROM: <s@x>", "451 4.7.1 greylisted\r\n"},
        {"sender refused for good", {"<s@x>", "<b@y>"}, "MAIL FROM: <s@x>", "553 5.7.1 bad sender\r\n"},
        {"DATA refused for good", {"<a@x>", "<d@y>"}, "DATA", "554 5.7.1 spam\r\n"},
        // The second item's envelope has gone out behind this text: it still counts alone.
        {"text refused for good", {"<a@x>", "<t@y>"}, ".", "554 5.6.0 content refused\r\n"},
        {"text refused for now", {"<a@x>", "<t@y>"}, ".", "452 4.3.1 out of room\r\n"},
        // A reply line may be the code alone: it still ends its reply, and the next item's
        // replies are not taken for this one's.
        {"text refused for good, code alone", {"<a@x>", "<t@y>"}, ".", "554\r\n"},
        {"text refused for now, code alone", {"<a@x>", "<t@y>"}, ".", "451\r\n"},
        {"recipient refused for good, code alone", {"<a@x>", "<no@y>"}, "RCPT TO: <no@y>", "550\r\n"},
        {"sender refused for now, code alone", {"<s@x>", "<b@y>"}, "MAIL FROM: <s@x>", "421\r\n"},
    };
    for (const Case& c : cases) {
        Outcome outcomes[2];
        for (bool grouped : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (grouped ? ", pipelined" : ", one at a time"));
            g_owner.clear();
            for (const std::string& name : queued()) std::remove((queue + "/" + name).c_str());
            SmtpPeer p;
            if (grouped) p.ehloReply = kPipelining;
            // A server that refused the envelope refuses DATA too, as RFC 2920 servers do.
            auto envelopeRefused = std::make_shared<bool>(false);
            auto lastRcpt = std::make_shared<std::string>();
            std::string refused = c.refusedCommand, refusal = c.refusal;
            p.answer = [=](const std::string& cmd) -> std::string {
                if (cmd.rfind("MAIL", 0) == 0) *envelopeRefused = false;
                if (cmd.rfind("RCPT", 0) == 0) *lastRcpt = cmd;
                if (cmd == refused && (refused != "DATA" || *lastRcpt == "RCPT TO: <d@y>")) {
                    if (refused != "DATA") *envelopeRefused = true;
                    return refusal;
                }
                if (cmd == "DATA" && *envelopeRefused) return "554 5.5.1 no valid recipients\r\n";
                return SmtpPeer::defaultAnswer(cmd);
            };
            p.textAnswer = [=](const std::string&) -> std::string {
                return refused == "." && *lastRcpt == "RCPT TO: <t@y>" ? refusal : "250 queued\r\n";
            };
            p.start();
            enqueue("1.rfc822", "x\r\n", c.addresses);
            enqueue("2.rfc822", "y\r\n", {"<a@x>", "<b@y>"});
            deliver(p.port);
            Outcome& o = outcomes[grouped];
            o.codes = ownerCodes();
            for (const OwnerNotice& n : g_owner)
                if (n.code == kTold.itemRefused) o.refusals.push_back(n.reply);
            o.queued = queued();
            o.delivered = 0;
            for (const std::string& text : p.messages()) o.delivered += text == "y\r\n";
        }
        EXPECT_TRUE(outcomes[0] == outcomes[1]) << c.name;
        EXPECT_EQ(outcomes[1].delivered, 1u) << c.name;
    }
}

TEST_F(SendTest, ABareCodeRefusingATextIsNeverCountedAsDelivered) {
    // "554" alone to the first text, then "250 ok" to the MAIL FROM sent behind it: read as one
    // reply, the item would leave the queue as delivered.
    for (const char* refusal : {"554\r\n", "451\r\n"}) {
        SCOPED_TRACE(refusal);
        g_owner.clear();
        for (const std::string& name : queued()) std::remove((queue + "/" + name).c_str());
        SmtpPeer p;
        p.ehloReply = kPipelining;
        std::string r = refusal;
        p.textAnswer = [r](const std::string& text) { return text == "x\r\n" ? r : std::string("250 queued\r\n"); };
        p.start();
        enqueue("1.rfc822", "x\r\n", {"<a@x>", "<b@y>"});
        enqueue("2.rfc822", "y\r\n", {"<a@x>", "<c@y>"});
        deliver(p.port);
        EXPECT_EQ(countOf(kTold.itemSent), 1);
        bool permanent = refusal[0] == '5';
        EXPECT_EQ(countOf(kTold.itemRefused), permanent ? 1 : 0);
        EXPECT_EQ(queued(),
                  permanent ? std::vector<std::string>{} : (std::vector<std::string>{"1.rfc822", "1.rfc822.route"}));
        EXPECT_EQ(p.messages().size(), 2u);
    }
}

TEST_F(SendTest, AReplyThatCannotAnswerItsCommandKeepsEveryItemAndEndsTheConnection) {
    struct Case {
        const char* name;
        std::string command;  // answered with reply instead of its own
        std::string reply;
    };
    const Case cases[] = {
        {"354 to MAIL FROM", "MAIL FROM: <a@x>", "354 go ahead\r\n"},
        {"250 to DATA", "DATA", "250 ok\r\n"},
    };
    for (const Case& c : cases) {
        for (bool grouped : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (grouped ? ", pipelined" : ", one at a time"));
            g_owner.clear();
            for (const std::string& name : queued()) std::remove((queue + "/" + name).c_str());
            SmtpPeer p;
            if (grouped) p.ehloReply = kPipelining;
            std::string command = c.command, reply = c.reply;
            p.answer = [=](const std::string& cmd) { return cmd == command ? reply : SmtpPeer::defaultAnswer(cmd); };
            p.start();
            enqueue("1.rfc822", "x\r\n", {"<a@x>", "<b@y>"});
            enqueue("2.rfc822", "y\r\n", {"<z@x>", "<c@y>"});
            deliver(p.port);
            EXPECT_EQ(countOf(kTold.itemSent), 0);
            EXPECT_EQ(countOf(kTold.itemRefused), 0);
            EXPECT_TRUE(p.messages().empty());
            EXPECT_EQ(queued(), (std::vector<std::string>{"1.rfc822", "1.rfc822.route", "2.rfc822", "2.rfc822.route"}));
        }
    }
}

TEST_F(SendTest, ADataAcceptedAfterARefusedEnvelopeGetsNoText) {
    // This server answers DATA with 354 even when it refused the only recipient: no text may
    // follow, nor the "." that would deliver an empty message. The item is refused as always;
    // the connection is given up, and the next item waits for the next cycle.
    peer.ehloReply = kPipelining;
    peer.answer = [](const std::string& c) {
        return c == "RCPT TO: <no@y>" ? "550 5.1.1 no\r\n" : SmtpPeer::defaultAnswer(c);
    };
    peer.start();
    enqueue("1.rfc822", "x\r\n", {"<a@x>", "<no@y>"});
    enqueue("2.rfc822", "y\r\n", {"<a@x>", "<b@y>"});
    deliver(peer.port);
    EXPECT_TRUE(peer.messages().empty());
    EXPECT_EQ(countOf(kTold.itemRefused), 1);
    EXPECT_EQ(queued(), (std::vector<std::string>{"2.rfc822", "2.rfc822.route"}));
    EXPECT_NE(todaysLog().find("DATA accepted after a refused envelope, connection closed : 354"), std::string::npos);
}
