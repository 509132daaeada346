#include "frontend/desktop/nmcli_query.h"

#include "platform/spawn.h"
#include "dialup/nmcli.h"
#include "dialup/ras_status.h"

#include <QProcess>
#include <QTimer>

#include <utility>

namespace dialup {
namespace {

// One nmcli run, a child of the object that waits for its answer. done gets the standard
// output's lines of a run that ended with 0 in time, or nothing.
class NmcliRun : public QObject {
public:
    using Done = std::function<void(std::optional<std::vector<std::string>>)>;

    NmcliRun(QObject* context, const QStringList& args, Done done) : QObject(context), done_(std::move(done)) {
        setObjectName(QStringLiteral("nmcliQuery"));  // tests wait for these to end
        limit_.setSingleShot(true);
        connect(&limit_, &QTimer::timeout, this, [this] { end(); });
        connect(&process_, &QProcess::finished, this, [this](int code, QProcess::ExitStatus status) {
            if (status == QProcess::NormalExit && code == 0) end(lines());
            else end();
        });
        connect(&process_, &QProcess::errorOccurred, this, [this](QProcess::ProcessError e) {
            if (e == QProcess::FailedToStart) end();
        });
        const std::string program = plat::findOnPath("nmcli");
        if (program.empty()) {
            QTimer::singleShot(0, this, [this] { end(); });  // no dial-up networking here
            return;
        }
        process_.setStandardInputFile(QProcess::nullDevice());
        process_.setStandardErrorFile(QProcess::nullDevice());
        limit_.start(RASStatus::kQueryTimeoutMs);
        process_.start(QString::fromStdString(program), args);
    }

    ~NmcliRun() override {
        // A run cut short with its owner is killed; QProcess collects its end.
        process_.disconnect(this);
        if (process_.state() != QProcess::NotRunning) process_.kill();
    }

private:
    std::vector<std::string> lines() {
        std::vector<std::string> out;
        const QList<QByteArray> all = process_.readAllStandardOutput().split('\n');
        for (QByteArray line : all) {
            if (line.endsWith('\r')) line.chop(1);
            if (!line.isEmpty()) out.push_back(line.toStdString());
        }
        return out;
    }

    void end(std::optional<std::vector<std::string>> lines = std::nullopt) {
        if (!done_) return;
        limit_.stop();
        setObjectName(QString());  // answered, though not yet deleted
        Done done = std::exchange(done_, nullptr);
        done(std::move(lines));
        deleteLater();
    }

    QProcess process_;
    QTimer limit_;
    Done done_;
};

}  // namespace

void askConnected(QObject* context, const std::string& entry, std::function<void(bool)> answer) {
    const QStringList args{QStringLiteral("-t"),         QStringLiteral("-f"),   QStringLiteral("NAME,STATE"),
                           QStringLiteral("connection"), QStringLiteral("show"), QStringLiteral("--active")};
    new NmcliRun(context, args, [entry, answer = std::move(answer)](std::optional<std::vector<std::string>> lines) {
        bool up = false;
        for (const std::string& line : lines.value_or(std::vector<std::string>{})) {
            std::vector<std::string> f = nmcli::splitTerse(line);
            if (!nmcli::sameEntry(f[0], entry)) continue;
            up = f.size() > 1 && f[1] == "activated";  // the first connection of that name decides
            break;
        }
        answer(up);
    });
}

void listEntries(QObject* context, std::function<void(std::optional<std::vector<std::string>>)> answer) {
    const QStringList args{QStringLiteral("-t"), QStringLiteral("-f"), QStringLiteral("NAME"),
                           QStringLiteral("connection"), QStringLiteral("show")};
    new NmcliRun(context, args, [answer = std::move(answer)](std::optional<std::vector<std::string>> lines) {
        if (!lines) return answer(std::nullopt);
        std::vector<std::string> names;
        for (const std::string& line : *lines) names.push_back(nmcli::splitTerse(line)[0]);
        answer(std::move(names));
    });
}

}  // namespace dialup
