// The order of the look-up's steps, the SRV and MX answers as they come off the wire, and the
// order SRV targets are tried in.
#include "autoconfig/discovery.h"

#include <gtest/gtest.h>

#include <map>

using namespace autoconfig;

namespace {

// A DNS reply as a name server sends it, built by hand.
class ReplyBuilder {
public:
    explicit ReplyBuilder(const std::string& question, DnsType type) {
        put16(0x1234);
        put16(0x8180);  // a reply, recursion available, no error
        put16(1);
        countAt_ = bytes_.size();
        put16(0);
        put16(0);
        put16(0);
        questionAt_ = bytes_.size();
        putName(question);
        put16(static_cast<std::uint16_t>(type));
        put16(1);
    }
    // A record whose owner is the question's name (a compression pointer to it).
    ReplyBuilder& srv(std::uint16_t priority, std::uint16_t weight, std::uint16_t port, const std::string& target) {
        std::vector<std::uint8_t> data;
        std::swap(data, bytes_);
        put16(priority);
        put16(weight);
        put16(port);
        putName(target);
        std::swap(data, bytes_);
        return record(DnsType::Srv, data);
    }
    ReplyBuilder& mx(std::uint16_t preference, const std::string& host) {
        std::vector<std::uint8_t> data;
        std::swap(data, bytes_);
        put16(preference);
        putName(host);
        std::swap(data, bytes_);
        return record(DnsType::Mx, data);
    }
    std::vector<std::uint8_t> bytes() const { return bytes_; }

private:
    ReplyBuilder& record(DnsType type, const std::vector<std::uint8_t>& data) {
        put16(static_cast<std::uint16_t>(0xC000 | questionAt_));
        put16(static_cast<std::uint16_t>(type));
        put16(1);
        put16(0);
        put16(300);
        put16(static_cast<std::uint16_t>(data.size()));
        bytes_.insert(bytes_.end(), data.begin(), data.end());
        ++bytes_[countAt_ + 1];
        return *this;
    }
    void put16(std::uint16_t v) {
        bytes_.push_back(static_cast<std::uint8_t>(v >> 8));
        bytes_.push_back(static_cast<std::uint8_t>(v));
    }
    void putName(const std::string& name) {
        std::size_t start = 0;
        while (start < name.size()) {
            std::size_t dot = name.find('.', start);
            if (dot == std::string::npos) dot = name.size();
            bytes_.push_back(static_cast<std::uint8_t>(dot - start));
            bytes_.insert(bytes_.end(), name.begin() + static_cast<long>(start), name.begin() + static_cast<long>(dot));
            start = dot + 1;
        }
        bytes_.push_back(0);
    }
    std::vector<std::uint8_t> bytes_;
    std::size_t countAt_ = 0;
    std::size_t questionAt_ = 0;
};

class FakeDns : public DnsSource {
public:
    std::map<std::string, std::vector<std::uint8_t>> replies;  // by name; others: no such name
    std::vector<std::string> asked;
    DnsReply query(const std::string& name, DnsType) override {
        asked.push_back(name);
        DnsReply r;
        r.answered = true;
        auto it = replies.find(name);
        if (it != replies.end()) r.message = it->second;
        return r;
    }
};

class FakeHttps : public HttpsSource {
public:
    std::map<std::string, FetchReply> replies;  // by URL; others: connection refused
    std::vector<std::string> asked;
    FetchReply get(const std::string& url) override {
        asked.push_back(url);
        auto it = replies.find(url);
        if (it != replies.end()) return it->second;
        FetchReply r;
        r.failure = "connection refused";
        return r;
    }
};

MailAddress address(const std::string& text) {
    MailAddress a;
    std::string why;
    EXPECT_TRUE(parseAddress(text, a, why)) << why;
    return a;
}

const char kFile[] =
    "<clientConfig><emailProvider><incomingServer type='pop3'><hostname>pop.example.org</hostname>"
    "<port>995</port><socketType>SSL</socketType></incomingServer></emailProvider></clientConfig>";

}  // namespace

TEST(Discovery, TakesTheStepsInOrderAndStopsAtTheFirstAnswer) {
    FakeDns dns;
    FakeHttps https;
    DiscoverySources sources{&https, &dns, {}};

    // The table answers without the network.
    Discovery d = discover(address("ann@posteo.de"), sources);
    EXPECT_TRUE(d.found);
    EXPECT_TRUE(https.asked.empty());
    EXPECT_TRUE(dns.asked.empty());

    // The first settings file is missing, the well-known one answers.
    FetchReply missing;
    missing.completed = true;
    missing.status = 404;
    FetchReply good;
    good.completed = true;
    good.status = 200;
    good.body = kFile;
    https.replies["https://autoconfig.example.org/mail/config-v1.1.xml"] = missing;
    https.replies["https://example.org/.well-known/autoconfig/mail/config-v1.1.xml"] = good;
    d = discover(address("ann@example.org"), sources);
    ASSERT_TRUE(d.found);
    EXPECT_EQ(d.settings.source, "https://example.org/.well-known/autoconfig/mail/config-v1.1.xml");
    EXPECT_EQ(d.settings.incoming[0].host, "pop.example.org");
    EXPECT_EQ(d.trail.size(), 3u);
    EXPECT_NE(d.trail[1].find("404"), std::string::npos);
    EXPECT_TRUE(dns.asked.empty());

    // A file that cannot be read is passed over for the SRV records.
    good.body = "<clientConfig>";
    https.replies["https://example.org/.well-known/autoconfig/mail/config-v1.1.xml"] = good;
    dns.replies["_pop3s._tcp.example.org"] =
        ReplyBuilder("_pop3s._tcp.example.org", DnsType::Srv).srv(10, 0, 995, "mail.example.org").bytes();
    dns.replies["_submission._tcp.example.org"] =
        ReplyBuilder("_submission._tcp.example.org", DnsType::Srv).srv(0, 0, 587, "Smtp.Example.org").bytes();
    // "." says the service is not offered.
    dns.replies["_imaps._tcp.example.org"] =
        ReplyBuilder("_imaps._tcp.example.org", DnsType::Srv).srv(0, 0, 0, "").bytes();
    d = discover(address("ann@example.org"), sources);
    ASSERT_TRUE(d.found);
    EXPECT_EQ(d.settings.source, "DNS SRV records");
    ASSERT_EQ(d.settings.incoming.size(), 1u);
    EXPECT_EQ(d.settings.incoming[0].host, "mail.example.org");
    EXPECT_EQ(d.settings.incoming[0].security, Security::Tls);
    EXPECT_EQ(d.settings.incoming[0].user, "ann@example.org");
    ASSERT_EQ(d.settings.outgoing.size(), 1u);
    EXPECT_EQ(d.settings.outgoing[0].host, "smtp.example.org");
    EXPECT_EQ(d.settings.outgoing[0].security, Security::StartTls);

    // Without SRV records, the mail exchanger's provider; the lowest preference counts.
    dns.replies.clear();
    dns.replies["example.org"] = ReplyBuilder("example.org", DnsType::Mx)
                                     .mx(20, "backup.example.org")
                                     .mx(5, "example-org.mail.protection.outlook.com")
                                     .bytes();
    d = discover(address("ann@example.org"), sources);
    ASSERT_TRUE(d.found);
    EXPECT_EQ(d.settings.provider, "Microsoft 365");

    // Nothing anywhere: not found, and every step said why.
    dns.replies.clear();
    d = discover(address("ann@example.org"), sources);
    EXPECT_FALSE(d.found);
    EXPECT_GE(d.trail.size(), 4u);
}

TEST(Discovery, SrvTargetsGoByPriorityThenWeight) {
    std::vector<SrvRecord> records = {
        {20, 0, 995, "c"}, {10, 60, 995, "a1"}, {10, 40, 995, "a2"}, {10, 0, 995, "a0"}, {5, 0, 995, "first"}};
    // random(n) answering n takes the last of the running sums; answering 0 the first, which
    // among equal priorities is one of weight 0.
    auto names = [](const std::vector<SrvRecord>& v) {
        std::string s;
        for (const SrvRecord& r : v) s += r.target + " ";
        return s;
    };
    EXPECT_EQ(names(orderSrv(records, [](std::uint32_t) { return 0u; })), "first a0 a1 a2 c ");
    EXPECT_EQ(names(orderSrv(records, [](std::uint32_t n) { return n; })), "first a2 a1 a0 c ");
    // Drawn 10 000 times, a weight of 60 comes first about 60 % of the times.
    std::uint32_t seed = 12345;
    auto lcg = [&seed](std::uint32_t n) {
        seed = seed * 1103515245u + 12345u;
        return static_cast<std::uint32_t>((seed >> 8) % (n + 1));
    };
    int a1First = 0;
    std::vector<SrvRecord> two = {{1, 60, 1, "a1"}, {1, 40, 1, "a2"}};
    for (int i = 0; i < 10000; ++i) a1First += orderSrv(two, lcg)[0].target == "a1";
    EXPECT_NEAR(a1First, 6000, 300);
}

TEST(Discovery, MalformedDnsRepliesAreRefused) {
    std::vector<std::uint8_t> good =
        ReplyBuilder("_pop3s._tcp.example.org", DnsType::Srv).srv(1, 1, 995, "mail.example.org").bytes();
    std::vector<SrvRecord> records;
    std::string why;
    ASSERT_TRUE(parseSrvAnswer(good.data(), good.size(), records, why)) << why;
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].target, "mail.example.org");
    // Every cut of the reply is refused.
    for (std::size_t n = 0; n < good.size(); ++n) EXPECT_FALSE(parseSrvAnswer(good.data(), n, records, why)) << n;
    // A compression pointer to itself, a pointer past the end, a label with a dot's byte in it.
    std::vector<std::uint8_t> loop = good;
    std::size_t owner = good.size() - (2 + 2 + 2 + 4 + 2 + 6 + 18);
    loop[owner] = 0xC0;
    loop[owner + 1] = static_cast<std::uint8_t>(owner);
    EXPECT_FALSE(parseSrvAnswer(loop.data(), loop.size(), records, why));
    std::vector<std::uint8_t> past = good;
    past[owner + 1] = 0xFF;
    EXPECT_FALSE(parseSrvAnswer(past.data(), past.size(), records, why));
    std::vector<std::uint8_t> odd = good;
    odd[good.size() - 3] = '/';
    EXPECT_FALSE(parseSrvAnswer(odd.data(), odd.size(), records, why));
    // A question, not a reply.
    std::vector<std::uint8_t> question = good;
    question[2] &= 0x7F;
    EXPECT_FALSE(parseSrvAnswer(question.data(), question.size(), records, why));
}
