// Glue between the pieces of the message layer (windows, loop, sockets, link). Not for the core.
#pragma once

#include "platform/window.h"

#include <cstdint>
#include <string>

namespace plat::detail {

struct QueuedMessage {
    HWND hwnd;
    UINT msg;
    WPARAM wParam;
    LPARAM lParam;
    std::uint64_t socketTag;  // non-zero: a socket notification, dropped once its socket is closed
};

void enqueue(const QueuedMessage& m);
// Called by enqueue: the loop back end (libevent or Qt) makes sure the queue gets drained.
void queueWoken();
// Called by postQuitMessage: the loop back end ends its run with this code.
void quitWoken(int exitCode);
// Dispatches at most the messages queued when called; answers how many were dispatched.
std::size_t dispatchQueued();
bool queueEmpty();

// A fresh handle for a local window or a remote proxy; never reused.
HWND allocateHandle();

// Socket layer: whether a notification tagged for socket s is still current.
bool socketTagAlive(WPARAM socket, std::uint64_t tag);

// Link layer: remote windows and published ones.
bool isRemote(HWND hwnd);
bool postRemote(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
LRESULT sendRemote(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
void unpublish(HWND hwnd);

// Timers of a destroyed window.
void killWindowTimers(HWND hwnd);

}  // namespace plat::detail
