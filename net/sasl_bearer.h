// The client's side of the two SASL mechanisms that carry an OAuth 2.0 access token:
// OAUTHBEARER (RFC 7628) and the older XOAUTH2 that some providers still ask for instead.
// Shared by the SMTP and the POP3 client.
#pragma once

#include <string>

enum class BearerMechanism { None, OAuthBearer, XOAuth2 };

// The command word of the mechanism ("OAUTHBEARER", "XOAUTH2").
const char* bearerMechanismName(BearerMechanism mechanism);

// OAUTHBEARER preferred, where the server offers both: it is the standard one.
BearerMechanism chooseBearerMechanism(bool offersOAuthBearer, bool offersXOAuth2);

// The initial client response, base64-encoded. host and port are the server's, as OAUTHBEARER
// names them (XOAUTH2 ignores them). Empty when there is no token, or when the user, host or
// token holds a control character: 0x01 separates the fields. "," and "=" in an OAUTHBEARER
// user name are escaped.
std::string bearerInitialResponse(BearerMechanism mechanism, const std::string& user, const std::string& host, int port,
                                  const std::string& token);

// What the client answers to a server challenge that carries the error report: the exchange
// must end before the server sends its refusal. OAUTHBEARER wants a lone 0x01 byte; XOAUTH2 an
// empty line.
std::string bearerErrorAcknowledgement(BearerMechanism mechanism);
