// The shipped provider table, found by address and by mail exchanger.
#include "autoconfig/provider_table.h"

#include <gtest/gtest.h>

using namespace autoconfig;

namespace {

MailAddress address(const std::string& text) {
    MailAddress a;
    std::string why;
    EXPECT_TRUE(parseAddress(text, a, why)) << why;
    return a;
}

}  // namespace

TEST(ProviderTable, FindsProvidersByDomainWhateverTheCaseAndTag) {
    ProviderSettings s;
    ASSERT_TRUE(lookUpProviderByDomain(address("Ann.Smith+news@GMail.COM"), s));
    EXPECT_EQ(s.provider, "Gmail");
    EXPECT_EQ(s.oauthPreset, "google");
    ASSERT_NE(s.firstIncoming(Protocol::Pop3), nullptr);
    EXPECT_EQ(s.firstIncoming(Protocol::Pop3)->host, "pop.gmail.com");
    EXPECT_EQ(s.firstIncoming(Protocol::Pop3)->port, 995);
    EXPECT_EQ(s.firstIncoming(Protocol::Pop3)->security, Security::Tls);
    // The tag goes, the letters of the local part stay as typed, the domain is lower case.
    EXPECT_EQ(s.firstIncoming(Protocol::Pop3)->user, "Ann.Smith@gmail.com");
    ASSERT_EQ(s.outgoing.size(), 1u);
    EXPECT_EQ(s.outgoing[0].host, "smtp.gmail.com");

    ASSERT_TRUE(lookUpProviderByDomain(address("bob@hotmail.co.uk"), s));
    EXPECT_EQ(s.oauthPreset, "microsoft");
    EXPECT_TRUE(s.incoming[0].oauth);
    EXPECT_EQ(s.outgoing[0].security, Security::StartTls);

    // iCloud offers no POP3 and logs IMAP in with the local part alone.
    ASSERT_TRUE(lookUpProviderByDomain(address("carl+x@me.com"), s));
    EXPECT_EQ(s.firstIncoming(Protocol::Pop3), nullptr);
    EXPECT_EQ(s.firstIncoming(Protocol::Imap)->user, "carl");
    EXPECT_NE(s.note.find("app-specific password"), std::string::npos);

    ASSERT_TRUE(lookUpProviderByDomain(address("d@proton.me"), s));
    EXPECT_EQ(s.incoming[0].host, "127.0.0.1");
    EXPECT_EQ(s.incoming[0].port, 1143);

    EXPECT_FALSE(lookUpProviderByDomain(address("e@example.org"), s));
    // A sub-domain of a provider is not the provider.
    EXPECT_FALSE(lookUpProviderByDomain(address("e@mail.gmail.com.example.org"), s));
}

TEST(ProviderTable, FindsTheProviderOfAMailExchanger) {
    ProviderSettings s;
    ASSERT_TRUE(lookUpProviderByMx("ASPMX.L.Google.com.", address("ann@family.example"), s));
    EXPECT_EQ(s.provider, "Gmail");
    EXPECT_EQ(s.incoming[0].user, "ann@family.example");
    EXPECT_NE(s.source.find("aspmx.l.google.com"), std::string::npos);
    ASSERT_TRUE(lookUpProviderByMx("example-org.mail.protection.outlook.com", address("a@example.org"), s));
    EXPECT_EQ(s.provider, "Microsoft 365");
    // The suffix must be a whole label: "evilgoogle.com" is not Google's.
    EXPECT_FALSE(lookUpProviderByMx("mx.evilgoogle.com", address("a@example.org"), s));
    EXPECT_FALSE(lookUpProviderByMx("", address("a@example.org"), s));
}

TEST(Address, RefusesWhatIsNotOneAddress) {
    MailAddress a;
    std::string why;
    for (const char* bad : {"", "ann", "@example.org", "ann@", "ann@example", "ann@exa mple.org", "an n@example.org",
                            "ann@-example.org", "ann@example..org", "a\"b@example.org", "ann@ex_ample.org"}) {
        EXPECT_FALSE(parseAddress(bad, a, why)) << bad;
        EXPECT_FALSE(why.empty());
    }
    ASSERT_TRUE(parseAddress("x+y+z@Sub.Example.ORG", a, why));
    EXPECT_EQ(a.domain, "sub.example.org");
    EXPECT_EQ(a.withoutTag(), "x");
    EXPECT_EQ(a.text(), "x+y+z@sub.example.org");
}
