// Waiting for the engine's published window without holding the loop: a watch on the folder
// its link socket appears in and a short poll look for it, and a single-shot timer ends the wait.
#pragma once

#include <QFileSystemWatcher>
#include <QObject>
#include <QTimer>

class EngineStart : public QObject {
    Q_OBJECT

public:
    // timeoutMs: how long wait() waits before timedOut.
    explicit EngineStart(int timeoutMs, QObject* parent = nullptr);

    // Starts waiting; exactly one of appeared and timedOut follows, from the loop.
    void wait();
    bool waiting() const { return deadline_.isActive(); }

signals:
    void appeared();
    void timedOut();

private:
    void look();
    void stop();

    int timeoutMs_;
    QTimer poll_;  // where the folder cannot be watched, or a change was missed
    QTimer deadline_;
    QFileSystemWatcher watch_;
};
