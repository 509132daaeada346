#include "autoconfig/server_probe.h"

#include "net/base64.h"
#include "net/sasl_bearer.h"
#include "platform/line_stream.h"

#include <algorithm>
#include <chrono>

namespace autoconfig {
namespace {

constexpr std::size_t kMaxCapabilityLines = 1000;

class Probe {
public:
    explicit Probe(const ProbeTarget& t) : t_(t) {}

    ProbeReport run() {
        (void)(connect() && (t_.security != Security::Tls || tls()) && greeting() && capabilities() &&
               (t_.security != Security::StartTls || (startTls() && capabilities())) && (!t_.login || login()));
        quit();
        return std::move(report_);
    }

private:
    using Clock = std::chrono::steady_clock;

    // Runs one step, timed, and records it; body fills detail and answers whether it worked.
    template <class Body>
    bool step(const char* name, Body body) {
        ProbeStep s;
        s.name = name;
        auto start = Clock::now();
        s.ok = body(s.detail);
        // Told apart from the server's own refusals: whether the stream itself failed.
        if (!s.ok && s.name != "connect") report_.streamFailure = stream_.failure();
        s.milliseconds = static_cast<long>(
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
        report_.steps.push_back(s);
        return s.ok;
    }

    bool send(const std::string& line, std::string& why) {
        return stream_.writeAll(line + "\r\n", t_.stepTimeoutMs, why);
    }
    bool read(std::string& line, std::string& why) { return stream_.readLine(line, t_.stepTimeoutMs, why); }

    // SMTP: a reply of one or more lines; the text of each and the code of the last.
    bool smtpReply(int& code, std::vector<std::string>& lines, std::string& why) {
        lines.clear();
        for (std::size_t i = 0; i < kMaxCapabilityLines; ++i) {
            std::string line;
            if (!read(line, why)) return false;
            if (line.size() < 3 || line.find_first_not_of("0123456789") < 3) {
                why = "not an SMTP reply: " + line.substr(0, 200);
                return false;
            }
            code = std::stoi(line.substr(0, 3));
            lines.push_back(line.size() > 4 ? line.substr(4) : "");
            if (line.size() == 3 || line[3] == ' ') return true;
        }
        why = "a reply of more than 1000 lines";
        return false;
    }

    // IMAP: untagged lines until the tagged one; the tagged line's status word.
    bool imapTagged(const std::string& tag, std::string& status, std::vector<std::string>& untagged, std::string& why) {
        untagged.clear();
        for (std::size_t i = 0; i < kMaxCapabilityLines; ++i) {
            std::string line;
            if (!read(line, why)) return false;
            if (line.rfind(tag + " ", 0) == 0) {
                status = line.substr(tag.size() + 1);
                return true;
            }
            untagged.push_back(line);
        }
        why = "more than 1000 lines before the reply";
        return false;
    }

    bool connect() {
        return step("connect", [&](std::string& detail) {
            std::string address, why;
            if (!stream_.connect(t_.host, t_.port, t_.stepTimeoutMs, address, why)) {
                detail = t_.host + ":" + std::to_string(t_.port) + ": " + why;
                report_.connectFailure = stream_.connectFailure();
                return false;
            }
            detail = t_.host + ":" + std::to_string(t_.port) + " (" + address + ")";
            return true;
        });
    }

    bool tls() {
        return step("tls", [&](std::string& detail) {
            std::string why;
            bool ok = stream_.startTls(t_.host, t_.caFile, t_.stepTimeoutMs, why);
            report_.tls = stream_.details();
            report_.haveTls = true;
            report_.trusted = ok;
            detail = ok ? report_.tls.version + " " + report_.tls.cipher : why;
            return ok;
        });
    }

    bool greeting() {
        return step("greeting", [&](std::string& detail) {
            std::string why, line;
            if (t_.protocol == Protocol::Smtp) {
                int code = 0;
                std::vector<std::string> lines;
                if (!smtpReply(code, lines, why)) return detail = why, false;
                detail = std::to_string(code) + " " + lines.front();
                return code == 220;
            }
            if (!read(line, why)) return detail = why, false;
            detail = line.substr(0, 300);
            return t_.protocol == Protocol::Pop3 ? line.rfind("+OK", 0) == 0
                                                 : line.rfind("* OK", 0) == 0 || line.rfind("* PREAUTH", 0) == 0;
        });
    }

    bool capabilities() {
        report_.capabilities.clear();
        return step("capabilities", [&](std::string& detail) {
            std::string why, line;
            auto& caps = report_.capabilities;
            if (t_.protocol == Protocol::Pop3) {
                if (!send("CAPA", why) || !read(line, why)) return detail = why, false;
                // CAPA came later than POP3 itself: a server that does not know it lists nothing,
                // and the log-in (or STLS, when asked for) is still tried, as the engine tries it.
                if (line.rfind("+OK", 0) != 0)
                    return detail = "none listed: CAPA refused: " + line.substr(0, 200), true;
                for (std::size_t i = 0;; ++i) {
                    if (i > kMaxCapabilityLines) return detail = "a CAPA listing of more than 1000 lines", false;
                    if (!read(line, why)) return detail = why, false;
                    if (line == ".") break;
                    caps.push_back(line);
                }
            } else if (t_.protocol == Protocol::Imap) {
                std::string status;
                std::vector<std::string> untagged;
                if (!send("a1 CAPABILITY", why) || !imapTagged("a1", status, untagged, why)) return detail = why, false;
                if (status.rfind("OK", 0) != 0) return detail = "CAPABILITY refused: " + status.substr(0, 200), false;
                for (const std::string& u : untagged) {
                    if (u.rfind("* CAPABILITY ", 0) != 0) continue;
                    std::string words = u.substr(13);
                    for (std::size_t at = 0; at < words.size();) {
                        std::size_t end = words.find(' ', at);
                        if (end == std::string::npos) end = words.size();
                        if (end > at) caps.push_back(words.substr(at, end - at));
                        at = end + 1;
                    }
                }
            } else {
                int code = 0;
                std::vector<std::string> lines;
                if (!send("EHLO localhost", why) || !smtpReply(code, lines, why)) return detail = why, false;
                if (code != 250) return detail = "EHLO refused: " + std::to_string(code) + " " + lines.back(), false;
                caps.assign(lines.begin() + 1, lines.end());
            }
            for (const std::string& c : caps) detail += (detail.empty() ? "" : ", ") + c;
            if (detail.empty()) detail = "(none)";
            return true;
        });
    }

    bool startTls() {
        bool asked = step("starttls", [&](std::string& detail) {
            std::string why, line;
            if (t_.protocol == Protocol::Pop3) {
                if (!send("STLS", why) || !read(line, why)) return detail = why, false;
                detail = line.substr(0, 200);
                return line.rfind("+OK", 0) == 0;
            }
            if (t_.protocol == Protocol::Imap) {
                std::string status;
                std::vector<std::string> untagged;
                if (!send("a2 STARTTLS", why) || !imapTagged("a2", status, untagged, why)) return detail = why, false;
                detail = status.substr(0, 200);
                return status.rfind("OK", 0) == 0;
            }
            int code = 0;
            std::vector<std::string> lines;
            if (!send("STARTTLS", why) || !smtpReply(code, lines, why)) return detail = why, false;
            detail = std::to_string(code) + " " + lines.back();
            return code == 220;
        });
        return asked && tls();
    }

    bool login() {
        return step("login", [&](std::string& detail) {
            bool ok = logIn(detail);
            if (!ok && report_.loginFailure == LoginFailure::None) report_.loginFailure = LoginFailure::Other;
            return ok;
        });
    }

    // A log-in that failed for the reason kind, detail saying how.
    bool loginFailed(LoginFailure kind, std::string& detail, std::string words) {
        report_.loginFailure = kind;
        detail = std::move(words);
        return false;
    }

    bool logIn(std::string& detail) {
        std::string why, line;
        if (!stream_.secured() && t_.host != "127.0.0.1" && t_.host != "localhost" && t_.host.rfind("127.", 0) != 0)
            return loginFailed(LoginFailure::Unencrypted, detail, "not tried: the password would travel unencrypted");
        if (!t_.accessToken.empty()) return bearerLogin(detail);
        if (t_.protocol == Protocol::Pop3) {
            if (!send("USER " + t_.user, why) || !read(line, why)) return detail = why, false;
            if (line.rfind("+OK", 0) != 0)
                return loginFailed(LoginFailure::UserRefused, detail, "USER refused: " + line.substr(0, 200));
            if (!send("PASS " + t_.password, why) || !read(line, why)) return detail = why, false;
            if (line.rfind("+OK", 0) != 0)
                return loginFailed(LoginFailure::PasswordRefused, detail,
                                   "the server refused the password: " + line.substr(0, 200));
            detail = "logged in as " + t_.user;
            return true;
        }
        if (t_.protocol == Protocol::Imap) return imapLogin(detail);
        int code = 0;
        std::vector<std::string> lines;
        bool plain = false, loginMech = false;
        for (const std::string& c : report_.capabilities) {
            if (c.size() < 5 || (c.compare(0, 5, "AUTH ") != 0 && c.compare(0, 5, "auth ") != 0)) continue;
            plain = plain || c.find(" PLAIN") != std::string::npos;
            loginMech = loginMech || c.find(" LOGIN") != std::string::npos;
        }
        if (plain) {
            std::string token = base64Encode(std::string(1, '\0') + t_.user + std::string(1, '\0') + t_.password);
            if (!send("AUTH PLAIN " + token, why) || !smtpReply(code, lines, why)) return detail = why, false;
        } else if (loginMech) {
            if (!send("AUTH LOGIN", why) || !smtpReply(code, lines, why) || code != 334 ||
                !send(base64Encode(t_.user), why) || !smtpReply(code, lines, why) || code != 334 ||
                !send(base64Encode(t_.password), why) || !smtpReply(code, lines, why)) {
                if (!why.empty()) return detail = why, false;
                // Refused at any of its turns: the server does not take this user and password.
                return loginFailed(LoginFailure::PasswordRefused, detail,
                                   "AUTH LOGIN refused: " + std::to_string(code));
            }
        } else {
            return loginFailed(LoginFailure::NoMechanism, detail,
                               "the server offers neither AUTH PLAIN nor AUTH LOGIN");
        }
        if (code != 235)
            return loginFailed(LoginFailure::PasswordRefused, detail,
                               "the server refused the password: " + std::to_string(code) + " " + lines.back());
        detail = "logged in as " + t_.user;
        return true;
    }

    // IMAP: LOGIN, or AUTHENTICATE PLAIN where the server has LOGIN disabled.
    bool imapLogin(std::string& detail) {
        auto quoted = [](const std::string& s) {
            std::string q = "\"";
            for (char c : s) {
                if (c == '"' || c == '\\') q += '\\';
                q += c;
            }
            return q + "\"";
        };
        auto listed = [&](const char* capability) {
            return std::find(report_.capabilities.begin(), report_.capabilities.end(), capability) !=
                   report_.capabilities.end();
        };
        std::string status, why;
        std::vector<std::string> untagged;
        if (!listed("LOGINDISABLED")) {
            if (!send("a3 LOGIN " + quoted(t_.user) + " " + quoted(t_.password), why) ||
                !imapTagged("a3", status, untagged, why))
                return detail = why, false;
        } else if (listed("AUTH=PLAIN")) {
            std::string response = base64Encode(std::string(1, '\0') + t_.user + std::string(1, '\0') + t_.password);
            bool initial = listed("SASL-IR");
            if (!send("a3 AUTHENTICATE PLAIN" + (initial ? " " + response : std::string()), why))
                return detail = why, false;
            // Without SASL-IR the response follows the server's "+"; a further "+" is ended with
            // "*", the client's cancel, and the refusal follows.
            if (!authenticateExchange(initial ? std::string() : response, "*", status, why)) return detail = why, false;
        } else {
            return loginFailed(LoginFailure::NoMechanism, detail,
                               "the server offers neither LOGIN (it is disabled) nor AUTHENTICATE PLAIN");
        }
        if (status.rfind("OK", 0) != 0)
            return loginFailed(LoginFailure::PasswordRefused, detail,
                               "the server refused the password: " + status.substr(0, 200));
        detail = "logged in as " + t_.user;
        return true;
    }

    // The rest of an IMAP AUTHENTICATE "a3": the server's first "+" gets response (unless it
    // went along as the initial one, response empty), any later one gets cancel; untagged
    // lines are passed over, a bounded number. status: the tagged answer after "a3 ".
    bool authenticateExchange(const std::string& response, const std::string& cancel, std::string& status,
                              std::string& why) {
        bool responded = response.empty();
        for (int lines = 0; lines < 100; ++lines) {
            std::string line;
            if (!read(line, why)) return false;
            if (line.rfind("+", 0) == 0) {
                if (!send(responded ? cancel : response, why)) return false;
                responded = true;
                continue;
            }
            if (line.rfind("a3 ", 0) != 0) continue;  // untagged news
            status = line.substr(3);
            return true;
        }
        why = "no answer to AUTHENTICATE";
        return false;
    }

    // Whether the capabilities name mechanism: POP3's "SASL ..." line, IMAP's "AUTH=...",
    // SMTP's "AUTH ..." line.
    bool offers(const std::string& mechanism) const {
        for (const std::string& c : report_.capabilities) {
            if (t_.protocol == Protocol::Imap) {
                if (c == "AUTH=" + mechanism) return true;
                continue;
            }
            const char* head = t_.protocol == Protocol::Pop3 ? "SASL " : "AUTH ";
            if (c.compare(0, 5, head) != 0) continue;
            std::string words = " " + c.substr(5) + " ";
            if (words.find(" " + mechanism + " ") != std::string::npos) return true;
        }
        return false;
    }

    // The log-in with the access token. A server that refuses it may first send a challenge
    // carrying its error report; the exchange is ended before its final answer is read.
    bool bearerLogin(std::string& detail) {
        BearerMechanism mechanism = chooseBearerMechanism(offers("OAUTHBEARER"), offers("XOAUTH2"));
        if (mechanism == BearerMechanism::None)
            return loginFailed(LoginFailure::NoMechanism, detail, "the server offers neither OAUTHBEARER nor XOAUTH2");
        std::string response = bearerInitialResponse(mechanism, t_.user, t_.host, t_.port, t_.accessToken);
        if (response.empty()) return detail = "the user name or token cannot be sent", false;
        std::string name = bearerMechanismName(mechanism), why;
        std::string refused = "the server refused the token (" + name + "): ";
        if (t_.protocol == Protocol::Imap) {
            bool initial = std::find(report_.capabilities.begin(), report_.capabilities.end(), "SASL-IR") !=
                           report_.capabilities.end();
            if (!send("a3 AUTHENTICATE " + name + (initial ? " " + response : ""), why)) return detail = why, false;
            std::string status;
            if (!authenticateExchange(initial ? std::string() : response, bearerErrorAcknowledgement(mechanism), status,
                                      why))
                return detail = why, false;
            if (status.rfind("OK", 0) != 0)
                return loginFailed(LoginFailure::TokenRefused, detail, refused + status.substr(0, 200));
            detail = "logged in as " + t_.user + " by " + name;
            return true;
        }
        if (t_.protocol == Protocol::Pop3) {
            std::string line;
            if (!send("AUTH " + name + " " + response, why) || !read(line, why)) return detail = why, false;
            if (line.rfind("+ ", 0) == 0 || line == "+") {
                if (!send(bearerErrorAcknowledgement(mechanism), why) || !read(line, why)) return detail = why, false;
            }
            if (line.rfind("+OK", 0) != 0)
                return loginFailed(LoginFailure::TokenRefused, detail, refused + line.substr(0, 200));
            detail = "logged in as " + t_.user + " by " + name;
            return true;
        }
        int code = 0;
        std::vector<std::string> lines;
        if (!send("AUTH " + name + " " + response, why) || !smtpReply(code, lines, why)) return detail = why, false;
        if (code == 334 && (!send(bearerErrorAcknowledgement(mechanism), why) || !smtpReply(code, lines, why)))
            return detail = why, false;
        if (code != 235)
            return loginFailed(LoginFailure::TokenRefused, detail, refused + std::to_string(code) + " " + lines.back());
        detail = "logged in as " + t_.user + " by " + name;
        return true;
    }

    void quit() {
        std::string why, line;
        if (report_.steps.empty() || report_.steps.front().name != "connect" || !report_.steps.front().ok) return;
        if (!report_.ok()) return;
        if (t_.protocol == Protocol::Imap) send("a4 LOGOUT", why);
        else send("QUIT", why);
        read(line, why);
        stream_.close();
    }

    const ProbeTarget& t_;
    plat::LineStream stream_;
    ProbeReport report_;
};

}  // namespace

bool ProbeReport::ok() const {
    return failedStep() == nullptr && !steps.empty();
}

const ProbeStep* ProbeReport::failedStep() const {
    for (const ProbeStep& s : steps)
        if (!s.ok) return &s;
    return nullptr;
}

ProbeReport probeServer(const ProbeTarget& target) {
    return Probe(target).run();
}

}  // namespace autoconfig
