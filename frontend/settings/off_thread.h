// Work that blocks (the settings look-up, the server check) run away from the GUI thread: on
// Qt's global pool, which the application waits for when it ends, so work still running then
// finishes before anything it uses goes away. The result comes back through the event loop.
#pragma once

#include <QCoreApplication>
#include <QMetaObject>
#include <QThreadPool>

#include <functional>
#include <memory>

template <class Result, class Work>
void runOffThread(Work work, std::function<void(Result)> answer) {
    QThreadPool::globalInstance()->start([work = std::move(work), answer = std::move(answer)]() mutable {
        auto result = std::make_shared<Result>(work());
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [result, answer = std::move(answer)] { answer(std::move(*result)); },
            Qt::QueuedConnection);
    });
}
