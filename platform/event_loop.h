// The single-threaded loop of a program: queued window messages first, then whatever the
// operating system reports (descriptors, timers, host look-ups, ended children), each turned
// into queued messages in the order it happens.
#pragma once

#include <functional>

struct event_base;

namespace plat {

// Runs until postQuitMessage; answers its exit code.
int runMessageLoop();

// Dispatches queued messages and ready events for at most ms milliseconds, or until
// the queue is empty and nothing is ready (ms = 0). For tests and for waits inside a handler.
void pumpMessages(int ms);

// Waits up to ms for operating-system events and queues their messages without dispatching
// any (tests use it to check what happens to messages already queued).
void collectEvents(int ms);

// Whether postQuitMessage was called and its code; cleared by resetQuit.
bool quitPosted(int* exitCode = nullptr);
void resetQuit();

// The loop's libevent base; only platform/ uses it.
event_base* eventBase();

// Watches a descriptor for reading on the loop; the handler runs inside the loop.
// Answers a watch id (0 on failure).
using FdHandler = std::function<void()>;
int watchReadable(int fd, FdHandler handler);
void unwatch(int watchId);

}  // namespace plat
