// The send driver over a real connection to a scripted server: which notices the owner gets,
// in which order, and which queued files are left afterwards.
#include "net/connection.h"
#include "platform/files.h"
#include "config/settings.h"
#include "smtp/send.h"
#include "smtp/send_by_host.h"
#include "smtp/outgoing_results.h"
#include "store/addr_list.h"
#include "store/smtp_queue.h"
#include "tests/net/net_fixture.h"
#include "tests/smtp/smtp_peer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
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
    std::string host = {};  // itemRefusedBy: the host that refused
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
    void itemRefusedBy(const std::string& path, const std::string& reply, const std::string& host) override {
        g_owner.push_back({kTold.itemRefused, path, plat::fileExists(path), reply, host});
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
const char kChunking[] = "250-provider\r\n250-PIPELINING\r\n250-CHUNKING\r\n250 8BITMIME\r\n";
}  // namespace

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

TEST_F(SendTest, EveryReplyRuleGivesTheSameNoticesAndQueueWithPipeliningAndChunking) {
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
    const char* const modes[] = {"one at a time", "pipelined", "in chunks"};
    for (const Case& c : cases) {
        Outcome outcomes[3];
        for (int mode : {0, 1, 2}) {
            SCOPED_TRACE(std::string(c.name) + ", " + modes[mode]);
            g_owner.clear();
            for (const std::string& name : queued()) std::remove((queue + "/" + name).c_str());
            SmtpPeer p;
            if (mode == 1) p.ehloReply = kPipelining;
            if (mode == 2) p.ehloReply = kChunking;
            // A server that refused the envelope refuses DATA too, as RFC 2920 servers do.
            auto envelopeRefused = std::make_shared<bool>(false);
            auto lastRcpt = std::make_shared<std::string>();
            std::string refused = c.refusedCommand, refusal = c.refusal;
            p.answer = [=](const std::string& cmd) -> std::string {
                if (cmd.rfind("MAIL", 0) == 0) *envelopeRefused = false;
                if (cmd.rfind("RCPT", 0) == 0) *lastRcpt = cmd;
                // BDAT stands for DATA and its text at once.
                bool data = cmd == "DATA" || cmd.rfind("BDAT ", 0) == 0;
                if ((cmd == refused || (refused == "DATA" && data)) &&
                    (refused != "DATA" || *lastRcpt == "RCPT TO: <d@y>")) {
                    if (refused != "DATA") *envelopeRefused = true;
                    return refusal;
                }
                if (data && *envelopeRefused) return "554 5.5.1 no valid recipients\r\n";
                return SmtpPeer::defaultAnswer(cmd);
            };
            p.textAnswer = [=](const std::string&) -> std::string {
                return refused == "." && *lastRcpt == "RCPT TO: <t@y>" ? refusal : "250 queued\r\n";
            };
            p.start();
            enqueue("1.rfc822", "x\r\n", c.addresses);
            enqueue("2.rfc822", "y\r\n", {"<a@x>", "<b@y>"});
            deliver(p.port);
            Outcome& o = outcomes[mode];
            o.codes = ownerCodes();
            for (const OwnerNotice& n : g_owner)
                if (n.code == kTold.itemRefused) o.refusals.push_back(n.reply);
            o.queued = queued();
            o.delivered = 0;
            for (const std::string& text : p.messages()) o.delivered += text == "y\r\n";
        }
        EXPECT_TRUE(outcomes[0] == outcomes[1]) << c.name;
        EXPECT_TRUE(outcomes[0] == outcomes[2]) << c.name;
        EXPECT_EQ(outcomes[1].delivered, 1u) << c.name;
        EXPECT_EQ(outcomes[2].delivered, 1u) << c.name;
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

// ---- Each account's mail through its own outgoing host

namespace {

class SendByHostTest : public SendTest {
protected:
    void SetUp() override {
        testsupport::clearWorld();
        SendTest::SetUp();
        ASSERT_TRUE(config::openAccountsKey(accounts));
    }
    void addAccount(const std::string& title, const std::string& addresses, int port) {
        ASSERT_TRUE(config::createAccountKey(accounts, title));
        ASSERT_TRUE(config::writeAccountString(accounts, title, config::kAddressesValue, addresses));
        if (port) {
            ASSERT_TRUE(config::writeAccountString(accounts, title, config::kSmtpServerValue, "127.0.0.1"));
            ASSERT_TRUE(
                config::writeAccountDword(accounts, title, config::kSmtpPortValue, static_cast<std::uint32_t>(port)));
        }
    }
    void deliverByHost(int globalPort) {
        SendByHost send("127.0.0.1", globalPort, &g_recorder);
        send.start(queue + "/");
        ASSERT_TRUE(waitFor([] { return countOf(kTold.finished) > 0; }, 8000));
        plat::pumpMessages(50);
    }
    plat::RegKey accounts;
};

TEST_F(SendByHostTest, EachSendersMailGoesToItsOwnHostAndADownHostKeepsOnlyItsItems) {
    SmtpPeer global, own;
    own.answer = [](const std::string& c) {
        return c == "RCPT TO: <no@y>" ? "550 5.1.1 no such user\r\n" : SmtpPeer::defaultAnswer(c);
    };
    global.start();
    own.start();
    int closedPort;
    {
        RawListener gone;
        closedPort = gone.port;
    }
    addAccount("bee", "*@b.example", own.port);
    addAccount("cee", "carl@c.example", closedPort);
    addAccount("home", "ann@home.example", 0);  // no host of its own: the global one
    enqueue("1.rfc822", "one\r\n", {"<x@else.example>", "<r@y>"});
    enqueue("2.rfc822", "two\r\n", {"<Bob+t@B.example>", "<r@y>"});
    enqueue("3.rfc822", "three\r\n", {"<carl@c.example>", "<r@y>"});
    enqueue("4.rfc822", "four\r\n", {"<bob@b.example>", "<no@y>"});
    enqueue("5.rfc822", "five\r\n", {"<ann@home.example>", "<r@y>"});
    deliverByHost(global.port);

    std::vector<std::string> atGlobal = global.messages(), atOwn = own.messages();
    std::sort(atGlobal.begin(), atGlobal.end());
    EXPECT_EQ(atGlobal, (std::vector<std::string>{"five\r\n", "one\r\n"}));
    EXPECT_EQ(atOwn, std::vector<std::string>{"two\r\n"});
    EXPECT_EQ(global.connections(), 1);
    EXPECT_EQ(own.connections(), 1);
    EXPECT_EQ(queued(), (std::vector<std::string>{"3.rfc822", "3.rfc822.route"}));
    EXPECT_EQ(countOf(kTold.itemSent), 3);
    EXPECT_EQ(countOf(kTold.sendFailed), 1);
    EXPECT_EQ(countOf(kTold.finished), 1);
    EXPECT_EQ(ownerCodes().back(), kTold.finished);
    auto refusal = std::find_if(g_owner.begin(), g_owner.end(), [](auto& n) { return n.code == kTold.itemRefused; });
    ASSERT_NE(refusal, g_owner.end());
    EXPECT_EQ(refusal->host, "127.0.0.1:" + std::to_string(own.port));
    std::string log = todaysLog();
    EXPECT_NE(log.find("  MAIL HIGH Outgoing host 127.0.0.1:" + std::to_string(closedPort) +
                       " of account cee could not be reached"),
              std::string::npos);
    EXPECT_NE(log.find("  MAIL HIGH Mail item refused by outgoing host : 127.0.0.1:" + std::to_string(own.port) +
                       " (account bee)"),
              std::string::npos);
    std::vector<outgoing::HostResult> results = outgoing::readHostResults();
    ASSERT_EQ(results.size(), 3u);
    for (const outgoing::HostResult& r : results) {
        if (r.owner == "account bee") EXPECT_EQ(r.result, "delivered 1, refused 1, kept 0");
        else if (r.owner == "account cee") EXPECT_EQ(r.result.rfind("could not be reached", 0), 0u) << r.result;
        else EXPECT_EQ(r.result, "delivered 2, refused 0, kept 0");
    }
}

TEST_F(SendByHostTest, HostsAreDeliveredSideBySide) {
    // Each provider holds its text for a while: side by side, the step takes about one wait.
    std::vector<std::unique_ptr<SmtpPeer>> peers;
    for (int i = 0; i < 4; ++i) {
        peers.push_back(std::make_unique<SmtpPeer>());
        peers.back()->pauseInDataMs = 600;
        peers.back()->start();
        addAccount("acct" + std::to_string(i), "*@d" + std::to_string(i) + ".example", peers.back()->port);
        enqueue(std::to_string(i) + ".rfc822", "x\r\n", {"<a@d" + std::to_string(i) + ".example>", "<r@y>"});
    }
    auto began = std::chrono::steady_clock::now();
    deliverByHost(peers[0]->port);
    auto took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - began);
    EXPECT_EQ(countOf(kTold.itemSent), 4);
    EXPECT_TRUE(queued().empty());
    for (auto& p : peers) EXPECT_EQ(p->messages().size(), 1u);
    EXPECT_LT(took.count(), 4 * 600);
}

}  // namespace

// ---- Servers that take texts in chunks (CHUNKING with PIPELINING)

namespace {

TEST_F(SendTest, AChunkingServerGetsEachItemInOneWriteAsTheMessageItIs) {
    peer.ehloReply = kChunking;
    peer.start();
    // Stored in transmission form: doubled leading dots, a last line without CRLF, a lone LF
    // and a lone CR inside lines, 8-bit bytes, and a text far beyond one block with dotted
    // lines across the block boundaries.
    std::string big;
    for (int i = 0; big.size() < 3 * 64 * 1024 + 100; ++i)
        big += i % 7 ? "line " + std::to_string(i) + "\r\n" : "..dot\r\n";
    std::string bigSent;
    for (std::size_t at = 0; at < big.size();) {
        std::size_t end = big.find("\r\n", at) + 2;
        std::string line = big.substr(at, end - at);
        bigSent += line[0] == '.' ? line.substr(1) : line;
        at = end;
    }
    enqueue("1.rfc822", "Subject: one\r\n\r\n..dot\r\n...two\r\n.\r\n", {"<a@x>", "<b@y>"});
    enqueue("2.rfc822", "Subject: two\r\n\r\nbare\nlf . \r\n\xe9t\xe9\r.x\r\n..", {"<a@x>", "<b@y>", "<c@y>"});
    enqueue("3.rfc822", big, {"<a@x>", "<d@y>"});
    enqueue("4.rfc822", "", {"<a@x>", "<e@y>"});
    deliver(peer.port);
    EXPECT_EQ(countOf(kTold.itemSent), 4);
    EXPECT_TRUE(queued().empty());
    const std::map<std::string, std::string> sent = {
        {"<b@y>", "Subject: one\r\n\r\n.dot\r\n..two\r\n\r\n"},
        {"<c@y>", "Subject: two\r\n\r\nbare\nlf . \r\n\xe9t\xe9\r.x\r\n.\r\n"},
        {"<d@y>", bigSent},
        {"<e@y>", ""},
    };
    std::vector<std::string> texts = peer.messages();
    ASSERT_EQ(texts.size(), 4u);
    std::vector<std::string> cmds = peer.commands();
    EXPECT_EQ(std::count(cmds.begin(), cmds.end(), "DATA"), 0);
    EXPECT_EQ(std::count(cmds.begin(), cmds.end(), "RSET"), 0);
    std::vector<std::string> reads = peer.reads();
    EXPECT_EQ(
        std::count_if(reads.begin(), reads.end(),
                      [](const std::string& r) { return r.size() > 6 && r.compare(r.size() - 6, 6, "QUIT\r\n") == 0; }),
        1);
    for (const auto& [last, text] : sent) {
        SCOPED_TRACE(last);
        EXPECT_NE(std::find(texts.begin(), texts.end(), text), texts.end());
        std::string bdat = "BDAT " + std::to_string(text.size()) + " LAST\r\n";
        if (last == "<c@y>") {
            // Several recipients: their replies come before the chunk goes.
            std::string envelope = "MAIL FROM: <a@x>\r\nRCPT TO: <b@y>\r\nRCPT TO: <c@y>\r\n";
            EXPECT_NE(std::find(reads.begin(), reads.end(), envelope), reads.end());
            EXPECT_TRUE(std::find(reads.begin(), reads.end(), bdat + text) != reads.end() ||
                        std::find(reads.begin(), reads.end(), bdat + text + "QUIT\r\n") != reads.end());
        } else if (text.size() < 1000) {
            std::string write = "MAIL FROM: <a@x>\r\nRCPT TO: " + last + "\r\n" + bdat + text;
            // QUIT travels with the chunk of the item listed last.
            EXPECT_TRUE(std::find(reads.begin(), reads.end(), write) != reads.end() ||
                        std::find(reads.begin(), reads.end(), write + "QUIT\r\n") != reads.end());
        }
    }
}

TEST_F(SendTest, QuitGoesWithTheLastChunkAndTheRepliesAreReadInOrder) {
    peer.ehloReply = kChunking;
    peer.start();
    enqueue("1.rfc822", "x\r\n", {"<a@x>", "<b@y>"});
    enqueue("2.rfc822", "y\r\n", {"<a@x>", "<c@y>", "<d@y>"});
    // The items go in the order the directory lists them.
    store::SMTPQueue listing(queue + "/");
    ASSERT_EQ(listing.count(), 2);
    bool oneIsLast = listing.itemPath(2).find("1.rfc822") != std::string::npos;
    deliver(peer.port);
    EXPECT_EQ(ownerCodes(), (std::vector<int>{kTold.itemSent, kTold.itemSent, kTold.finished}));
    EXPECT_TRUE(queued().empty());
    std::vector<std::string> reads = peer.reads();
    // One recipient: envelope and chunk in one write. Several: the chunk waits for their
    // replies. QUIT behind the chunk of the last item only.
    std::string one = "MAIL FROM: <a@x>\r\nRCPT TO: <b@y>\r\nBDAT 3 LAST\r\nx\r\n";
    std::string two = "BDAT 3 LAST\r\ny\r\n";
    (oneIsLast ? one : two) += "QUIT\r\n";
    EXPECT_NE(std::find(reads.begin(), reads.end(), one), reads.end());
    EXPECT_NE(std::find(reads.begin(), reads.end(), two), reads.end());
    std::vector<std::string> cmds = peer.commands();
    EXPECT_EQ(std::count(cmds.begin(), cmds.end(), "QUIT"), 1);
    EXPECT_EQ(cmds.back(), "QUIT");
}

TEST_F(SendTest, ALastItemRefusedBeforeQuitIsHandledAsAnyRefusal) {
    // The last item's recipient refused (the server then refuses its chunk too), or its chunk
    // refused with a 5xx or a 4xx: each outcome as for an earlier item, and QUIT's reply, which
    // came in the same read, still closes the phase at once.
    struct Case {
        const char* name;
        const char* rcpt;
        const char* bdat;
        std::vector<int> codes;
        std::string reply;
        std::vector<std::string> left;
    };
    const std::vector<Case> cases = {
        {"recipient 550",
         "550 5.1.1 no such user\r\n",
         "554 5.5.1 no valid recipients\r\n",
         {kTold.itemRefused, kTold.itemFailed, kTold.finished},
         "550 5.1.1 no such user\r\n",
         {}},
        {"chunk 554",
         "250 ok\r\n",
         "554 5.6.0 content refused\r\n",
         {kTold.itemRefused, kTold.itemFailed, kTold.finished},
         "554 5.6.0 content refused\r\n",
         {}},
        {"chunk 451",
         "250 ok\r\n",
         "451 4.3.0 try later\r\n",
         {kTold.itemFailed, kTold.finished},
         "",
         {"2.rfc822", "2.rfc822.route"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        g_owner.clear();
        SmtpPeer server;
        server.ehloReply = kChunking;
        server.answer = [&c](const std::string& cmd) {
            if (cmd == "RCPT TO: <no@y>") return std::string(c.rcpt);
            if (cmd == "BDAT 3 LAST") return std::string(c.bdat);
            return SmtpPeer::defaultAnswer(cmd);
        };
        server.start();
        enqueue("2.rfc822", "y\r\n", {"<a@x>", "<no@y>"});
        std::size_t logBefore = todaysLog().size();
        auto began = std::chrono::steady_clock::now();
        deliver(server.port);
        auto took = std::chrono::steady_clock::now() - began;
        EXPECT_LT(std::chrono::duration_cast<std::chrono::seconds>(took).count(), 5);  // no wait for a time-out
        EXPECT_EQ(ownerCodes(), c.codes);
        for (const OwnerNotice& n : g_owner)
            if (n.code == kTold.itemRefused) {
                EXPECT_EQ(n.reply, c.reply);
                EXPECT_TRUE(n.itemPresent);
            }
        EXPECT_EQ(queued(), c.left);
        std::vector<std::string> reads = server.reads();
        EXPECT_NE(std::find(reads.begin(), reads.end(),
                            "MAIL FROM: <a@x>\r\nRCPT TO: <no@y>\r\nBDAT 3 LAST\r\ny\r\nQUIT\r\n"),
                  reads.end());
        std::vector<std::string> cmds = server.commands();
        EXPECT_EQ(std::count(cmds.begin(), cmds.end(), "QUIT"), 1);
        EXPECT_EQ(todaysLog().substr(logBefore).find("Socket closed or timeout"), std::string::npos);
        for (const std::string& name : queued()) std::remove((queue + "/" + name).c_str());
    }
}

TEST_F(SendTest, ChunkingWithoutPipeliningKeepsTheDataDialogue) {
    peer.ehloReply = "250-provider\r\n250 CHUNKING\r\n";
    peer.start();
    enqueue("1.rfc822", "..x\r\n", {"<a@x>", "<b@y>"});
    deliver(peer.port);
    EXPECT_EQ(peer.commands(), (std::vector<std::string>{"EHLO LOCALHOST", "RSET", "MAIL FROM: <a@x>", "RCPT TO: <b@y>",
                                                         "DATA", "QUIT"}));
    EXPECT_EQ(peer.messages(), std::vector<std::string>{"..x\r\n"});
}

TEST_F(SendTest, AConnectionLostAtTheChunkKeepsTheItem) {
    peer.ehloReply = kChunking;
    peer.closeAtChunk = true;
    peer.start();
    enqueue("1.rfc822", "x\r\n", {"<a@x>", "<b@y>"});
    enqueue("2.rfc822", "y\r\n", {"<a@x>", "<c@y>"});
    deliver(peer.port);
    EXPECT_EQ(countOf(kTold.itemSent), 0);
    EXPECT_EQ(countOf(kTold.itemFailed), 2);
    EXPECT_EQ(queued(), (std::vector<std::string>{"1.rfc822", "1.rfc822.route", "2.rfc822", "2.rfc822.route"}));
    EXPECT_NE(todaysLog().find("  NET HIGH Socket closed or timeout"), std::string::npos);
}

// ---- What holds for a text whether it goes after DATA or in a BDAT chunk

// The two ways a server that takes commands in groups gets a text: DATA and the text up to
// its ".", or the text in one BDAT chunk behind its envelope.
struct Transfer {
    const char* name;
    const char* ehloReply;
    const char* command;  // as the log names it
    const char* accepted;  // this server's reply taking the command after a refused envelope
    std::vector<std::string> textsTaken;  // what the server got as texts in that case
};

void PrintTo(const Transfer& t, std::ostream* os) {
    *os << t.name;
}

class SendTransferTest : public SendTest, public ::testing::WithParamInterface<Transfer> {};

TEST_P(SendTransferTest, ATextAcceptedAfterARefusedEnvelopeEndsTheConnection) {
    // This server takes the text (354 to DATA, or the chunk) although it refused the only
    // recipient. The item is refused as always and the connection given up, so the next item
    // waits for the next cycle. After DATA no text may follow, nor the "." that would deliver
    // an empty message; a chunk has gone with its envelope already.
    const Transfer& mode = GetParam();
    peer.ehloReply = mode.ehloReply;
    peer.answer = [](const std::string& c) {
        return c == "RCPT TO: <no@y>" ? "550 5.1.1 no\r\n" : SmtpPeer::defaultAnswer(c);
    };
    peer.start();
    enqueue("1.rfc822", "x\r\n", {"<a@x>", "<no@y>"});
    enqueue("2.rfc822", "y\r\n", {"<a@x>", "<b@y>"});
    deliver(peer.port);
    EXPECT_EQ(peer.messages(), mode.textsTaken);
    EXPECT_EQ(countOf(kTold.itemRefused), 1);
    EXPECT_EQ(g_owner[0].reply, "550 5.1.1 no\r\n");
    EXPECT_EQ(queued(), (std::vector<std::string>{"2.rfc822", "2.rfc822.route"}));
    EXPECT_NE(todaysLog().find(std::string(mode.command) +
                               " accepted after a refused envelope, connection closed : " + mode.accepted),
              std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(DataOrChunk, SendTransferTest,
                         ::testing::Values(Transfer{"Data", kPipelining, "DATA", "354", {}},
                                           Transfer{"Chunking", kChunking, "BDAT", "250", {"x\r\n"}}),
                         [](const ::testing::TestParamInfo<Transfer>& info) { return info.param.name; });

}  // namespace
