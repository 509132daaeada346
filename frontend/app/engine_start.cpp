#include "frontend/app/engine_start.h"

#include "platform/link.h"
#include "link/engine_link.h"

#include <QDir>
#include <QFileInfo>

namespace {

constexpr int kPollMs = 50;

}  // namespace

EngineStart::EngineStart(int timeoutMs, QObject* parent) : QObject(parent), timeoutMs_(timeoutMs) {
    poll_.setInterval(kPollMs);
    deadline_.setSingleShot(true);
    connect(&poll_, &QTimer::timeout, this, &EngineStart::look);
    connect(&watch_, &QFileSystemWatcher::directoryChanged, this, &EngineStart::look);
    connect(&deadline_, &QTimer::timeout, this, [this] {
        stop();
        emit timedOut();
    });
}

void EngineStart::wait() {
    const QFileInfo socket(QString::fromStdString(plat::linkSocketPath(kEngineClass, kEngineTitle)));
    if (socket.dir().exists()) watch_.addPath(socket.absolutePath());
    deadline_.start(timeoutMs_);
    poll_.start();
}

void EngineStart::look() {
    if (!waiting() || !plat::findWindow(kEngineClass, kEngineTitle)) return;
    stop();
    emit appeared();
}

void EngineStart::stop() {
    poll_.stop();
    deadline_.stop();
    if (!watch_.directories().isEmpty()) watch_.removePaths(watch_.directories());
}
