#include "net/server.h"

#include "shared/debug.h"

#include <string>

using namespace plat;

namespace {
constexpr char kServerClass[] = "NETSERVCLASS";
constexpr UINT WM_ACCEPT = WM_USER;
constexpr int kBacklog = 5;
}  // namespace

Server::Server(HWND owner, bool localOnly) : localOnly_(localOnly) {
    started_ = socketStartup();
    if (!started_) return;
    if (!isClassRegistered(kServerClass) && !registerClass(kServerClass, &Server::procedure)) {
        DebugLine(LOG_APP, LOG_HIGH, "Unable to register network server class");
    }
    window_ = createWindow(kServerClass, "", owner);
    if (!window_) {
        DebugLine(LOG_APP, LOG_HIGH, "Unable to create network server window");
        return;
    }
    setWindowLongPtr(window_, reinterpret_cast<std::intptr_t>(this));
}

Server::~Server() {
    if (listening_ != INVALID_SOCKET) closeSocket(listening_);
    if (window_) {
        setWindowLongPtr(window_, 0);
        destroyWindow(window_);
    }
    unregisterClass(kServerClass);
    if (started_) (void)socketCleanup();
}

int Server::listen(int port) {
    port_ = port;
    DebugLine(LOG_NET, LOG_LOW, "Server::listen");
    SOCKET s = tcpSocket();
    if (s == INVALID_SOCKET) {
        DebugLineInt(LOG_NET, LOG_HIGH, "FAILED - socket() :", socketError());
        return 0;
    }
    const char* failure = nullptr;
    int error = 0;
    if ((error = bindAny(s, static_cast<std::uint16_t>(port))) != 0) {
        failure = "FAILED - bind() :";
    } else if ((error = listenSocket(s, kBacklog)) != 0) {
        failure = "FAILED - listen() :";
    } else if (!asyncSelect(s, window_, WM_ACCEPT, FD_ACCEPT)) {
        failure = "FAILED - WSAAsyncSelect() :";
        error = socketError();
    }
    if (failure) {
        DebugLineInt(LOG_NET, LOG_HIGH, failure, error);
        closeSocket(s);
        return 0;
    }
    listening_ = s;
    return 1;
}

LRESULT Server::procedure(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<Server*>(getWindowLongPtr(hwnd));
    if (!self) return defWindowProc(hwnd, msg, wParam, lParam);
    if (msg == WM_ACCEPT && loWord(lParam) == FD_ACCEPT) {
        self->onAccept();
        return 0;
    }
    if (msg == WM_SESSION_FINISHED) {
        auto* session = reinterpret_cast<Client*>(wParam);
        if (self->sessions_.count(session)) self->removeSession(session);
        return 0;
    }
    return defWindowProc(hwnd, msg, wParam, lParam);
}

void Server::onAccept() {
    DebugLine(LOG_APP, LOG_LOW, "case FD_ACCEPT");
    Ipv4Endpoint peer;
    SOCKET s = acceptSocket(listening_, &peer);
    if (s == INVALID_SOCKET) {
        DebugLineInt(LOG_NET, LOG_HIGH, "FAILED - accept() :", socketError());
        return;
    }
    if (localOnly_ && (peer.address >> 24) != 127) {
        DebugLine(LOG_NET, LOG_HIGH, "DENYING EXTERNAL CONNECTION");
        closeSocket(s);
        return;
    }
    createSession(s);
}

void Server::adoptSession(Client* session, const char* label) {
    ++sessionCount_;
    sessions_.insert(session);
    std::string text = std::string("Creating ") + label + " server session";
    DebugLineInt(LOG_APP, LOG_LOW, text.c_str(), sessionCount_);
}

void Server::dropSession(Client* session, const char* label) {
    if (!session || !sessions_.erase(session)) return;
    --sessionCount_;
    std::string text = std::string("Removing ") + label + " server session (" +
                       std::to_string(sessionCount_) + " in-progress)";
    DebugLine(LOG_APP, LOG_LOW, text.c_str());
    delete session;
}

void ServerSession::finishSession() {
    closeSocket();
    lineBuffer().reset();
    if (!closeReported_) {
        closeReported_ = true;
        postMessage(serverWindow_, WM_SESSION_FINISHED, reinterpret_cast<WPARAM>(static_cast<Client*>(this)), 0);
    }
}
