// The strict reader of a domain's mail settings file: what it takes, and every kind of
// hostile or broken file it must refuse without harm.
#include "autoconfig/autoconfig_xml.h"

#include <gtest/gtest.h>

using namespace autoconfig;

namespace {

const char kGood[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<!-- published by the domain -->
<clientConfig version="1.1">
  <emailProvider id="example.org">
    <domain>example.org</domain>
    <displayName>Example &amp; Co</displayName>
    <incomingServer type="imap">
      <hostname>IMAP.example.org</hostname>
      <port>993</port>
      <socketType>SSL</socketType>
      <authentication>password-cleartext</authentication>
      <username>%EMAILADDRESS%</username>
    </incomingServer>
    <incomingServer type="pop3">
      <hostname>pop.example.org</hostname>
      <port>110</port>
      <socketType>STARTTLS</socketType>
      <authentication>password-cleartext</authentication>
      <username>%EMAILLOCALPART%</username>
    </incomingServer>
    <incomingServer type="pop3">
      <hostname>old.example.org</hostname>
      <port>110</port>
      <socketType>plain</socketType>
      <username>%EMAILLOCALPART%</username>
    </incomingServer>
    <incomingServer type="exchange"><hostname>x.example.org</hostname></incomingServer>
    <outgoingServer type="smtp">
      <hostname>smtp.example.org</hostname>
      <port>465</port>
      <socketType>SSL</socketType>
      <authentication>OAuth2</authentication>
      <username><![CDATA[%EMAILADDRESS%]]></username>
    </outgoingServer>
    <documentation url="https://example.org/help"><descr lang="en">Help</descr></documentation>
  </emailProvider>
</clientConfig>
)";

MailAddress ann() {
    MailAddress a;
    a.localPart = "ann";
    a.domain = "example.org";
    return a;
}

}  // namespace

TEST(AutoconfigXml, ReadsTheServersOfAGoodFile) {
    ProviderSettings s;
    std::string why;
    std::vector<std::string> skipped;
    ASSERT_TRUE(parseAutoconfig(kGood, ann(), s, why, &skipped)) << why;
    EXPECT_EQ(s.provider, "Example & Co");
    ASSERT_EQ(s.incoming.size(), 2u);
    EXPECT_EQ(s.incoming[0].protocol, Protocol::Imap);
    EXPECT_EQ(s.incoming[0].host, "imap.example.org");
    EXPECT_EQ(s.incoming[0].user, "ann@example.org");
    EXPECT_EQ(s.incoming[1].protocol, Protocol::Pop3);
    EXPECT_EQ(s.incoming[1].port, 110);
    EXPECT_EQ(s.incoming[1].security, Security::StartTls);
    EXPECT_EQ(s.incoming[1].user, "ann");
    ASSERT_EQ(s.outgoing.size(), 1u);
    EXPECT_TRUE(s.outgoing[0].oauth);
    EXPECT_EQ(s.outgoing[0].user, "ann@example.org");
    // The plain server and the one of another protocol are left out, and said to be.
    ASSERT_EQ(skipped.size(), 2u);
    EXPECT_NE(skipped[0].find("plain"), std::string::npos);
    EXPECT_NE(skipped[1].find("exchange"), std::string::npos);
}

TEST(AutoconfigXml, EveryCutOfAGoodFileIsRefused) {
    std::string text(kGood);
    std::size_t end = text.rfind("</clientConfig>");
    for (std::size_t n = 0; n < end + 14; ++n) {
        XmlElement root;
        std::string why;
        EXPECT_FALSE(parseXml(std::string_view(text).substr(0, n), root, why)) << n;
    }
}

TEST(AutoconfigXml, RefusesHostileAndMalformedFiles) {
    const std::string open = "<clientConfig><emailProvider>";
    const std::string close = "</emailProvider></clientConfig>";
    const char* const bad[] = {
        // Entities of one's own, and any document type declaration, are never taken.
        "<!DOCTYPE c [<!ENTITY x SYSTEM \"file:///etc/passwd\">]><clientConfig>&x;</clientConfig>",
        "<!DOCTYPE clientConfig><clientConfig/>",
        "<clientConfig>&unknown;</clientConfig>",
        "<clientConfig>&#0;</clientConfig>",
        "<clientConfig>&#x110000;</clientConfig>",
        "<clientConfig>&#xD800;</clientConfig>",
        "<clientConfig>&#99999999999999999999;</clientConfig>",
        "<clientConfig><a></b></clientConfig>",
        "<clientConfig a='1' a='2'/>",
        "<clientConfig a=1/>",
        "<clientConfig a='<'/>",
        "<clientConfig a='1'b='2'/>",
        "<clientConfig>\x01</clientConfig>",
        "<clientConfig/><clientConfig/>",
        "<clientConfig/>text",
        "text<clientConfig/>",
        "<clientConfig>]]></clientConfig>",
        "<clientConfig><!-- never ends </clientConfig>",
        "<1clientConfig/>",
        "",
    };
    for (const char* text : bad) {
        XmlElement root;
        std::string why;
        EXPECT_FALSE(parseXml(text, root, why)) << text;
        EXPECT_FALSE(why.empty()) << text;
    }
    // Well-formed, but with nothing usable in it.
    for (const std::string& text :
         {std::string("<other/>"), std::string("<clientConfig/>"), open + close,
          open +
              "<incomingServer type='pop3'><hostname>pop.example.org</hostname><port>0</port>"
              "<socketType>SSL</socketType></incomingServer>" +
              close,
          open +
              "<incomingServer type='pop3'><hostname>pop.example.org</hostname><port>99999</port>"
              "<socketType>SSL</socketType></incomingServer>" +
              close,
          open +
              "<incomingServer type='pop3'><hostname>pop .example.org</hostname><port>995</port>"
              "<socketType>SSL</socketType></incomingServer>" +
              close,
          open +
              "<incomingServer type='pop3'><hostname>pop.example.org</hostname><port>995</port>"
              "<socketType>SSL</socketType><username>%REALNAME%</username></incomingServer>" +
              close,
          open +
              "<incomingServer type='pop3'><hostname>pop.example.org</hostname><port>995</port>"
              "<socketType>SSL</socketType><authentication>NTLM</authentication></incomingServer>" +
              close}) {
        ProviderSettings s;
        std::string why;
        EXPECT_FALSE(parseAutoconfig(text, ann(), s, why)) << text;
        EXPECT_FALSE(why.empty());
    }
}

TEST(AutoconfigXml, StaysWithinItsBounds) {
    XmlElement root;
    std::string why;
    // Huge: past the size bound, however well formed.
    std::string huge = "<clientConfig>" + std::string(70 * 1024, ' ') + "</clientConfig>";
    EXPECT_FALSE(parseXml(huge, root, why));
    EXPECT_NE(why.find("longer than"), std::string::npos) << why;
    // Deep: a nesting far past the bound is refused at the bound, without recursing further.
    std::string deep;
    for (int i = 0; i < 5000; ++i) deep += "<a>";
    EXPECT_FALSE(parseXml(deep, root, why));
    EXPECT_NE(why.find("nested deeper"), std::string::npos) << why;
    std::string sixteen, seventeen;
    for (int i = 0; i < 16; ++i) sixteen = "<a>" + sixteen + "</a>";
    seventeen = "<a>" + sixteen + "</a>";
    EXPECT_TRUE(parseXml(sixteen, root, why)) << why;
    EXPECT_FALSE(parseXml(seventeen, root, why));
    // Wide: too many elements.
    std::string wide = "<r>";
    for (int i = 0; i < 3000; ++i) wide += "<e/>";
    wide += "</r>";
    EXPECT_FALSE(parseXml(wide, root, why));
    EXPECT_NE(why.find("elements"), std::string::npos) << why;
    // A name past its bound.
    EXPECT_FALSE(parseXml("<" + std::string(100, 'n') + "/>", root, why));
}

TEST(AutoconfigXml, DecodesReferencesAndKeepsStructure) {
    XmlElement root;
    std::string why;
    ASSERT_TRUE(
        parseXml("\xEF\xBB\xBF<?xml version='1.0'?><r k=\"&lt;&#65;&#x42;&apos;\">a<b/>c<!-- x --></r>\n", root, why))
        << why;
    EXPECT_EQ(root.attribute("k"), "<AB'");
    EXPECT_EQ(root.text, "ac");
    ASSERT_EQ(root.children.size(), 1u);
    EXPECT_EQ(root.children[0].name, "b");
    ASSERT_TRUE(parseXml("<r>&#x20AC;</r>", root, why));
    EXPECT_EQ(root.text, "\xE2\x82\xAC");
}

// A provider no preset knows may name its OAuth 2.0 endpoints; only https ones are taken
// (plain http only on this machine), and a file whose endpoints are not usable still gives
// its servers.
TEST(AutoconfigXml, TakesTheOAuthEndpointsTheFileNamesOverHttpsOnly) {
    auto with = [](const std::string& oauth2) {
        std::string text = kGood;
        text.insert(text.find("</clientConfig>"), oauth2);
        ProviderSettings s;
        std::string why;
        std::vector<std::string> skipped;
        EXPECT_TRUE(parseAutoconfig(text, ann(), s, why, &skipped)) << why;
        return std::pair{s.oauthEndpoints, skipped};
    };
    auto [good, none] = with(
        "<oAuth2><issuer>login.example.org</issuer><scope>mail offline</scope>"
        "<authURL>https://login.example.org/authorize</authURL><tokenURL>https://login.example.org/token</tokenURL>"
        "</oAuth2>");
    EXPECT_EQ(good.name, "login.example.org");
    EXPECT_EQ(good.authUrl, "https://login.example.org/authorize");
    EXPECT_EQ(good.tokenUrl, "https://login.example.org/token");
    EXPECT_EQ(good.scope, "mail offline");
    EXPECT_EQ(none.size(), 2u);  // only the two servers of the file itself

    // The name shown is the sign-in page's host, whatever the file calls its issuer.
    auto [local, _] = with(
        "<oAuth2><issuer>accounts.example.com</issuer><authURL>http://127.0.0.1:8080/a</authURL>"
        "<tokenURL>http://127.0.0.1:8080/t</tokenURL></oAuth2>");
    EXPECT_EQ(local.name, "127.0.0.1");
    EXPECT_FALSE(local.empty());

    for (const char* bad : {
             "<oAuth2><authURL>http://login.example.org/a</authURL><tokenURL>https://t.example/t</tokenURL></oAuth2>",
             "<oAuth2><authURL>https://a.example/a</authURL><tokenURL>http://127.0.0.1.evil.example/t</tokenURL></"
             "oAuth2>",
             "<oAuth2><authURL>https://a.example/a</authURL></oAuth2>",
             "<oAuth2><authURL>https://a.example/a b</authURL><tokenURL>https://t.example/t</tokenURL></oAuth2>",
             "<oAuth2><authURL>javascript:alert(1)</authURL><tokenURL>https://t.example/t</tokenURL></oAuth2>",
             // A user part would make "127.0.0.1" read here and another host be connected to.
             "<oAuth2><authURL>https://a.example/a</authURL><tokenURL>http://127.0.0.1:1@evil.example/t</tokenURL>"
             "</oAuth2>",
             "<oAuth2><authURL>https://a.example@evil.example/a</authURL><tokenURL>https://t.example/t</tokenURL>"
             "</oAuth2>",
         }) {
        auto [endpoints, skipped] = with(bad);
        EXPECT_TRUE(endpoints.empty()) << bad;
        EXPECT_EQ(skipped.size(), 3u) << bad;  // said, beside the two servers
    }
}
