// The pieces of the OAuth 2.0 sign-in that read what a peer wrote or build what it reads: the
// token endpoint's JSON, the SASL responses, the proof key, form encoding and allowed URLs.
#include "net/base64.h"
#include "net/sasl_bearer.h"
#include "oauth/form_encoding.h"
#include "oauth/token_reply.h"
#include "platform/digest.h"
#include "platform/http_post.h"

#include <gtest/gtest.h>

#include <string>

using namespace oauth;

namespace {

// Each parser case fed whole and, since a truncated reply must never read as a good one,
// cut one byte short.
TEST(TokenReply, ReadsTheFieldsAndSkipsTheRest) {
    auto r = parseTokenReply(R"({"access_token":"ya29.a\/b","token_type":"Bearer","expires_in":3599,)"
                             R"("scope":["x",{"y":[1,2.5e3,true,null]}],"refresh_token":"1\/\/r"})");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->accessToken, "ya29.a/b");
    EXPECT_EQ(r->expiresIn, 3599);
    EXPECT_EQ(r->refreshToken, "1//r");
    EXPECT_EQ(r->error, "");

    auto quoted = parseTokenReply(R"( { "expires_in" : "60", "access_token" : "t\u0041" } )");
    ASSERT_TRUE(quoted);
    EXPECT_EQ(quoted->expiresIn, 60);
    EXPECT_EQ(quoted->accessToken, "tA");

    auto error = parseTokenReply(
        R"({"error":"invalid_grant","error_description":"Token has been expired or revoked."})");
    ASSERT_TRUE(error);
    EXPECT_EQ(error->error, "invalid_grant");
    EXPECT_EQ(error->accessToken, "");
}

TEST(TokenReply, MalformedTextReadsAsNothing) {
    const std::string good = R"({"access_token":"abc","expires_in":10})";
    for (std::size_t cut = 0; cut < good.size(); ++cut)
        EXPECT_FALSE(parseTokenReply(good.substr(0, cut))) << "cut at " << cut;
    for (const char* bad : {"", "[]", "{\"a\":1,}", "{\"a\" 1}", "{\"a\":\"x\ny\"}", "{\"a\":\"\\q\"}",
                            "{\"a\":1} trailing", "{\"a\":\"\\u12\"}", "{'a':1}"})
        EXPECT_FALSE(parseTokenReply(bad)) << bad;
    // Nesting past any sane depth is refused rather than followed.
    EXPECT_FALSE(parseTokenReply("{\"a\":" + std::string(100000, '[') + std::string(100000, ']') + "}"));
    // A lifetime beyond reason stays finite.
    auto huge = parseTokenReply(R"({"expires_in":99999999999999999999999})");
    ASSERT_TRUE(huge);
    EXPECT_GT(huge->expiresIn, 0);
    EXPECT_LT(huge->expiresIn, 2000000000);
}

TEST(SaslBearer, ResponsesCarryUserAndTokenAsTheMechanismsDefine) {
    // RFC 7628 section 4.1's example, and the XOAUTH2 layout: user=...^Aauth=Bearer ...^A^A.
    EXPECT_EQ(bearerInitialResponse(BearerMechanism::OAuthBearer, "user@example.com", "server.example.com", 143,
                                    "vF9dft4qmTc2Nvb3RlckBhbHRhdmlzdGEuY29tCg=="),
              base64Encode("n,a=user@example.com,\x01host=server.example.com\x01port=143\x01"
                           "auth=Bearer vF9dft4qmTc2Nvb3RlckBhbHRhdmlzdGEuY29tCg==\x01\x01"));
    EXPECT_EQ(bearerInitialResponse(BearerMechanism::XOAuth2, "someuser@example.com", "h", 1,
                                    "ya29.vF9dft4qmTc2Nvb3RlckBhbHRhdmlzdGEuY29tCg"),
              "dXNlcj1zb21ldXNlckBleGFtcGxlLmNvbQFhdXRoPUJlYXJlciB5YTI5LnZGOWRmdDRxbVRjMk52YjNSbGNrQmhiSFJoZG1semRHRXVZ"
              "Mjl0Q2cBAQ==");
    // "," and "=" would end the GS2 header's name early.
    EXPECT_EQ(bearerInitialResponse(BearerMechanism::OAuthBearer, "a,b=c", "h", 1, "t"),
              base64Encode("n,a=a=2Cb=3Dc,\x01host=h\x01port=1\x01"
                           "auth=Bearer t\x01\x01"));
    // A control byte would forge a field; no token, nothing to send.
    EXPECT_EQ(bearerInitialResponse(BearerMechanism::XOAuth2,
                                    "ann\x01"
                                    "auth=Bearer x",
                                    "h", 1, "t"),
              "");
    EXPECT_EQ(bearerInitialResponse(BearerMechanism::XOAuth2, "ann", "h", 1, "t\r\nQUIT"), "");
    EXPECT_EQ(bearerInitialResponse(BearerMechanism::OAuthBearer, "ann", "h", 1, ""), "");

    EXPECT_EQ(chooseBearerMechanism(true, true), BearerMechanism::OAuthBearer);
    EXPECT_EQ(chooseBearerMechanism(false, true), BearerMechanism::XOAuth2);
    EXPECT_EQ(chooseBearerMechanism(false, false), BearerMechanism::None);
    EXPECT_EQ(bearerErrorAcknowledgement(BearerMechanism::OAuthBearer), "AQ==");
    EXPECT_EQ(bearerErrorAcknowledgement(BearerMechanism::XOAuth2), "");
}

TEST(ProofKey, S256ChallengeIsTheUnpaddedUrlBase64OfTheDigest) {
    // SHA-256("abc") of FIPS 180-2, in the URL alphabet ("-" and "_") without "=".
    EXPECT_EQ(base64UrlEncode(plat::sha256("abc")), "ungWv48Bz-pBQUDeXa4iI7ADYaOWF3qctBD_YfIAFa0");
    std::string verifier = base64UrlEncode(plat::randomBytes(32));
    EXPECT_EQ(verifier.size(), 43u);  // within the 43..128 characters a verifier may have
    EXPECT_EQ(verifier.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_"),
              std::string::npos);
    EXPECT_NE(verifier, base64UrlEncode(plat::randomBytes(32)));
}

TEST(FormEncoding, EncodesEveryReservedByteAndDecodesQueries) {
    EXPECT_EQ(formEncode({{"redirect_uri", "http://127.0.0.1:5/"}, {"scope", "a b+c&d=e"}}),
              "redirect_uri=http%3A%2F%2F127.0.0.1%3A5%2F&scope=a%20b%2Bc%26d%3De");
    auto fields = formDecode("code=4%2F0A+x&state=s%3D&code=second&empty&bad=%zz%4");
    EXPECT_EQ(fields["code"], "4/0A x");  // the first of a name twice counts
    EXPECT_EQ(fields["state"], "s=");
    EXPECT_EQ(fields["empty"], "");
    EXPECT_EQ(fields["bad"], "%zz%4");
    std::string all;
    for (int c = 1; c < 256; ++c) all += static_cast<char>(c);
    EXPECT_EQ(formDecode(formEncode({{"v", all}}))["v"], all);
}

TEST(HttpUrl, PlainHttpOnlyToThisMachine) {
    std::string why;
    EXPECT_TRUE(plat::httpUrlAllowed("https://oauth2.example.com/token", why));
    EXPECT_TRUE(plat::httpUrlAllowed("http://127.0.0.1:8080/token", why));
    EXPECT_TRUE(plat::httpUrlAllowed("http://127.9.8.7/token", why));
    for (const char* refused :
         {"http://example.com/token", "http://localhost/token", "http://128.0.0.1/", "http://[::1]/token",
          "ftp://127.0.0.1/", "file:///etc/passwd", "token", "http://127.0.0.1.example.com/"}) {
        why.clear();
        EXPECT_FALSE(plat::httpUrlAllowed(refused, why)) << refused;
        EXPECT_FALSE(why.empty()) << refused;
    }
}

}  // namespace
