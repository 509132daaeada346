#include "frontend/settings/sign_in.h"

#include "frontend/desktop/desktop.h"
#include "platform/spawn.h"

#include <QFileInfo>
#include <QProcessEnvironment>
#include <QStringList>

namespace signin {

std::vector<std::string> authorizeArguments(const std::string& target, const Choice& choice) {
    std::vector<std::string> args{"authorize", target};
    if (!choice.preset.empty()) args.insert(args.end(), {"--preset", choice.preset});
    if (!choice.clientId.empty()) args.insert(args.end(), {"--client-id", choice.clientId});
    if (!choice.clientSecret.empty()) args.insert(args.end(), {"--client-secret", choice.clientSecret});
    return args;
}

std::optional<std::string> addressIn(const std::string& printed) {
    std::size_t start = 0;
    for (std::size_t end; (end = printed.find('\n', start)) != std::string::npos; start = end + 1) {
        std::string line = printed.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.rfind("https://", 0) == 0 || line.rfind("http://", 0) == 0) return line;
    }
    return std::nullopt;
}

}  // namespace signin

SignInRun::SignInRun(QObject* parent, std::string program) : QObject(parent), program_(std::move(program)) {
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
    if (!ok && said.isEmpty()) said = tr("The sign-in did not finish.");
    emit finished(ok, ok ? QString() : said);
}
