// "Sign in…": the OAuth 2.0 sign-in of an account or of the outgoing host, run by trawlexctl
// authorize (the program beside Tarnwick's own), so that the sign-in, its checks and where the
// refresh token is kept are the same as on the command line. Tarnwick opens the address it
// prints in the desktop's browser; the provider sends the browser back to trawlexctl's port on
// 127.0.0.1; trawlexctl stores the sign-in and ends.
#pragma once

#include <QObject>
#include <QProcess>

#include <optional>
#include <string>
#include <vector>

namespace signin {

// What the user chose: a preset ("google", "microsoft"), or the endpoints a provider's
// settings file named, or neither (the stored endpoints); and the client they registered with
// the provider.
struct Choice {
    std::string preset;
    std::string clientId;
    std::string clientSecret;
    std::string authUrl = {};  // without a preset
    std::string tokenUrl = {};
    std::string scope = {};
};

// What a sign-in for an account not made yet hands back.
struct Tokens {
    std::string refreshToken;
    std::string accessToken;
    long expiresIn = 0;  // seconds; 0 when the provider did not say
};

// The arguments after the program: authorize TARGET [--preset P] [--client-id ID] ...; with
// an empty target, the sign-in of an account not made yet, whose tokens are printed.
std::vector<std::string> authorizeArguments(const std::string& target, const Choice& choice);
// The tokens trawlexctl printed for an account not made yet; none unless both are there.
std::optional<Tokens> tokensIn(const std::string& printed);
// Keeps a sign-in had before target existed: the provider's endpoints (from the preset), the
// client, and the refresh token, in the secret store where target's secrets go. False when
// any of it could not be stored.
bool keepSignIn(const std::string& target, const Choice& choice, const Tokens& tokens);
// The sign-in address in what trawlexctl printed so far: the first line that is an http(s)
// address, whole (its line end seen); none before.
std::optional<std::string> addressIn(const std::string& printed);

}  // namespace signin

// One sign-in at a time. finished() comes once, with ok and, when it failed, trawlexctl's words.
class SignInRun : public QObject {
    Q_OBJECT

public:
    // program: trawlexctl (empty: the default, the one beside this program).
    explicit SignInRun(QObject* parent = nullptr, std::string program = {});
    // A test's stand-in for the default; empty restores the one beside this program.
    static void setDefaultProgram(std::string program);
    ~SignInRun() override;

    // False when one is already running or the program cannot be started (finished() then
    // comes all the same). An empty target signs in an account not made yet: the tokens are
    // handed back by tokens() instead of being stored.
    bool start(const std::string& target, const signin::Choice& choice);
    // After a good finished() for an account not made yet.
    const std::optional<signin::Tokens>& tokens() const { return tokens_; }
    bool running() const { return process_.state() != QProcess::NotRunning; }
    void cancel();

signals:
    void finished(bool ok, const QString& message);

private:
    void readOutput();
    void ended(int exitCode, QProcess::ExitStatus status);

    std::string program_;
    QProcess process_;
    std::string printed_;
    bool opened_ = false;
    bool handBack_ = false;
    std::optional<signin::Tokens> tokens_;
};
