#include "net/sasl_bearer.h"

#include "net/base64.h"

namespace {

bool hasControl(const std::string& text) {
    for (unsigned char c : text)
        if (c < 0x20 || c == 0x7f) return true;
    return false;
}

// A SASL name in a GS2 header: "," and "=" are written =2C and =3D (RFC 5801).
std::string gs2Name(const std::string& user) {
    std::string out;
    for (char c : user) {
        if (c == ',') {
            out += "=2C";
        } else if (c == '=') {
            out += "=3D";
        } else {
            out += c;
        }
    }
    return out;
}

}  // namespace

const char* bearerMechanismName(BearerMechanism mechanism) {
    switch (mechanism) {
    case BearerMechanism::OAuthBearer: return "OAUTHBEARER";
    case BearerMechanism::XOAuth2: return "XOAUTH2";
    case BearerMechanism::None: break;
    }
    return "";
}

BearerMechanism chooseBearerMechanism(bool offersOAuthBearer, bool offersXOAuth2) {
    if (offersOAuthBearer) return BearerMechanism::OAuthBearer;
    if (offersXOAuth2) return BearerMechanism::XOAuth2;
    return BearerMechanism::None;
}

std::string bearerInitialResponse(BearerMechanism mechanism, const std::string& user, const std::string& host, int port,
                                  const std::string& token) {
    if (token.empty() || hasControl(user) || hasControl(token) || hasControl(host)) return {};
    const std::string auth = "auth=Bearer " + token + "\x01";
    switch (mechanism) {
    case BearerMechanism::OAuthBearer:
        return base64Encode("n,a=" + gs2Name(user) + ",\x01" + "host=" + host + "\x01" +
                            "port=" + std::to_string(port) + "\x01" + auth + "\x01");
    case BearerMechanism::XOAuth2: return base64Encode("user=" + user + "\x01" + auth + "\x01");
    case BearerMechanism::None: break;
    }
    return {};
}

std::string bearerErrorAcknowledgement(BearerMechanism mechanism) {
    return mechanism == BearerMechanism::OAuthBearer ? base64Encode("\x01") : std::string();
}
