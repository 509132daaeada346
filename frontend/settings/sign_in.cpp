#include "frontend/settings/sign_in.h"

#include "frontend/desktop/desktop.h"
#include "oauth/oauth_presets.h"
#include "oauth/oauth_settings.h"
#include "platform/spawn.h"
#include "secrets/secret_moves.h"

#include <QFileInfo>
#include <QProcessEnvironment>
#include <QStringList>

#include <cstdlib>

namespace signin {

std::vector<std::string> authorizeArguments(const std::string& target, const Choice& choice) {
    std::vector<std::string> args{"authorize", target.empty() ? "--print-tokens" : target};
    if (!choice.preset.empty()) {
        args.insert(args.end(), {"--preset", choice.preset});
    } else if (!choice.authUrl.empty()) {
        args.insert(args.end(), {"--auth-url", choice.authUrl, "--token-url", choice.tokenUrl});
        if (!choice.scope.empty()) args.insert(args.end(), {"--scope", choice.scope});
    }
    if (!choice.clientId.empty()) args.insert(args.end(), {"--client-id", choice.clientId});
    if (!choice.clientSecret.empty()) args.insert(args.end(), {"--client-secret", choice.clientSecret});
    return args;
}

namespace {

// Calls use with each whole line printed so far (its end seen), until it returns true.
template <typename Use>
void eachLine(const std::string& printed, Use use) {
    std::size_t start = 0;
    for (std::size_t end; (end = printed.find('\n', start)) != std::string::npos; start = end + 1) {
        std::string line = printed.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (use(line)) return;
    }
}

}  // namespace

std::optional<std::string> addressIn(const std::string& printed) {
    std::optional<std::string> address;
    eachLine(printed, [&address](const std::string& line) {
        if (line.rfind("https://", 0) == 0 || line.rfind("http://", 0) == 0) address = line;
        return address.has_value();
    });
    return address;
}

std::optional<Tokens> tokensIn(const std::string& printed) {
    Tokens t;
    eachLine(printed, [&t](const std::string& line) {
        std::size_t eq = line.find('=');
        if (eq == std::string::npos) return false;
        std::string name = line.substr(0, eq), value = line.substr(eq + 1);
        if (name == "refresh_token") t.refreshToken = value;
        else if (name == "access_token") t.accessToken = value;
        else if (name == "expires_in") t.expiresIn = std::strtol(value.c_str(), nullptr, 10);
        return false;
    });
    if (t.refreshToken.empty() || t.accessToken.empty()) return std::nullopt;
    return t;
}

bool keepSignIn(const std::string& target, const Choice& choice, const Tokens& tokens) {
    config::OAuthSettings s = config::readOAuthSettings(target);
    s.auth = config::kAuthOAuth;
    if (const config::OAuthPreset* p = config::findOAuthPreset(choice.preset)) {
        s.authUrl = p->authUrl;
        s.tokenUrl = p->tokenUrl;
        s.scope = p->scope;
    } else if (!choice.authUrl.empty()) {
        s.authUrl = choice.authUrl;
        s.tokenUrl = choice.tokenUrl;
        s.scope = choice.scope;
    }
    s.clientId = choice.clientId;
    if (!choice.clientSecret.empty()) s.clientSecret = choice.clientSecret;
    bool ok = config::writeOAuthSettings(target, s);
    return config::writeSecretFromEditing(target, plat::SecretKind::Refresh, tokens.refreshToken) && ok;
}

}  // namespace signin

namespace {

std::string& defaultProgram() {
    static std::string program;
    return program;
}

}  // namespace

void SignInRun::setDefaultProgram(std::string program) {
    defaultProgram() = std::move(program);
}

SignInRun::SignInRun(QObject* parent, std::string program) : QObject(parent), program_(std::move(program)) {
    if (program_.empty()) program_ = defaultProgram();
    if (program_.empty()) program_ = plat::selfExeDir() + "/trawlexctl";
    connect(&process_, &QProcess::readyReadStandardOutput, this, &SignInRun::readOutput);
    connect(&process_, &QProcess::finished, this, &SignInRun::ended);
    connect(&process_, &QProcess::errorOccurred, this, [this](QProcess::ProcessError e) {
        if (e == QProcess::FailedToStart) emit finished(false, tr("trawlexctl could not be started."));
    });
}

SignInRun::~SignInRun() {
    cancel();
}

bool SignInRun::start(const std::string& target, const signin::Choice& choice) {
    if (running()) return false;
    printed_.clear();
    opened_ = false;
    handBack_ = target.empty();
    tokens_.reset();
    QStringList args;
    for (const std::string& a : signin::authorizeArguments(target, choice)) args << QString::fromStdString(a);
    // Tarnwick opens the address itself, through the desktop.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("BROWSER"));
    process_.setProcessEnvironment(env);
    // Nothing waits for the start: a program that is not there is told at once, any other
    // failure to start comes as errorOccurred from the loop.
    if (!QFileInfo(QString::fromStdString(program_)).isExecutable()) {
        emit finished(false, tr("trawlexctl could not be started."));
        return false;
    }
    process_.start(QString::fromStdString(program_), args);
    return true;
}

void SignInRun::cancel() {
    if (!running()) return;
    process_.disconnect(this);
    process_.kill();  // its end is collected from the loop
}

void SignInRun::readOutput() {
    printed_ += process_.readAllStandardOutput().toStdString();
    if (opened_) return;
    if (std::optional<std::string> address = signin::addressIn(printed_)) {
        opened_ = true;
        openUrl(*address);
    }
}

void SignInRun::ended(int exitCode, QProcess::ExitStatus status) {
    readOutput();
    QString said = QString::fromLocal8Bit(process_.readAllStandardError()).trimmed();
    said.replace(QStringLiteral("trawlexctl: "), QString());
    bool ok = status == QProcess::NormalExit && exitCode == 0;
    if (ok && handBack_) {
        tokens_ = signin::tokensIn(printed_);
        ok = tokens_.has_value();
        if (!ok) said = tr("trawlexctl handed back no tokens.");
    }
    printed_.clear();  // the tokens are not kept twice
    if (!ok && said.isEmpty()) said = tr("The sign-in did not finish.");
    emit finished(ok, ok ? QString() : said);
}
