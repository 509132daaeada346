// A scripted POP3 server on a loopback port, in a thread of its own, for the client tests:
// it answers each command from its script, records what it was sent, and can fall silent or
// send an endless line at a chosen point.
#pragma once

#include "tests/net/net_fixture.h"

#include <atomic>
#include <chrono>
#include <cerrno>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <poll.h>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace poptest {

struct Script {
    bool greet = true;
    std::string greeting = "+OK ready";
    std::string userReply = "+OK";
    std::string passReply = "+OK";
    std::string uidlReply = "+OK";
    std::string deleReply = "+OK";
    std::vector<std::string> listing;  // UIDL lines, without CRLF and the final "."
    std::map<int, std::string> messages;  // RETR n: the wire text after "+OK", before "."
    std::set<int> refusedRetr;  // RETR n answered "-ERR no such message"
    int silentAfterListingLines = -1;  // send this many listing lines, then nothing
    std::string silentAfterRetrText;  // RETR: this text after "+OK", then nothing
    std::size_t endlessRetrLine = 0;  // RETR: this many bytes without a CRLF
    std::vector<std::string> capabilities;  // CAPA's listing; none: CAPA is refused
    // RETRs are held unanswered until this many have come (or another command comes), then
    // answered in order: a client that waits for each reply never gets one.
    std::size_t gatherRetrs = 0;
    // RETR n after a gathering: its first part, then the connection is dropped.
    std::map<int, std::string> droppedInRetr;
    // USER's reply waits for the next command: a client that waits for it before PASS never
    // gets it.
    bool holdUserReply = false;
    // CAPA after a PASS: "+OK", then capability lines without end (until the client goes).
    bool endlessCapaAfterLogin = false;
    // Before answering each command, wait a moment and count it as early when the next one
    // has already come: a client that waits for each reply sends none early.
    bool countEarlyCommands = false;
    // Called in the server's thread as each command arrives, before it is answered.
    std::function<void(const std::string&)> onCommand;
};

class FakePop3 {
public:
    // address: where it listens (host order), loopback unless a test needs another.
    explicit FakePop3(Script script, std::uint32_t address = INADDR_LOOPBACK)
        : script_(std::move(script)),
          listener_(address) {
        thread_ = std::thread([this] { serve(); });
    }
    ~FakePop3() {
        stop_ = true;
        thread_.join();
    }
    int port() const { return listener_.port; }
    std::vector<std::string> commands() {
        std::lock_guard<std::mutex> lock(mutex_);
        return commands_;
    }
    int sessions() const { return sessions_; }
    // Commands followed by another before their reply went out (see countEarlyCommands).
    int earlyCommands() const { return early_; }

private:
    void serve() {
        while (!stop_) {
            pollfd p{listener_.fd, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0) continue;
            int fd = listener_.acceptOne();
            if (fd < 0) continue;
            ++sessions_;
            session(fd);
            ::close(fd);
        }
    }

    // Waits until the client closes the connection (or the test ends).
    void silence(int fd) {
        char c;
        while (!stop_) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 50) > 0 && ::recv(fd, &c, 1, 0) <= 0) return;
        }
    }

    void session(int fd) {
        using nettest::sendText;
        if (!script_.greet) return silence(fd);
        sendText(fd, script_.greeting + "\r\n");
        bool loggedIn = false;
        for (;;) {
            std::string line = nettest::readLine(fd);
            if (line.size() < 2) return;
            line.resize(line.size() - 2);
            {
                std::lock_guard<std::mutex> lock(mutex_);
                commands_.push_back(line);
            }
            if (script_.onCommand) script_.onCommand(line);
            if (script_.countEarlyCommands) {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
                pollfd next{fd, POLLIN, 0};
                if (::poll(&next, 1, 0) > 0 && (next.revents & POLLIN)) ++early_;
            }
            std::string word = line.substr(0, line.find(' '));
            int number = std::atoi(line.c_str() + std::min(line.size(), word.size()));
            if (word == "USER" && script_.holdUserReply) {
                userHeld_ = true;
                continue;
            }
            if (std::exchange(userHeld_, false)) sendText(fd, script_.userReply + "\r\n");
            if (word == "RETR" && script_.gatherRetrs) {
                gathered_.push_back(number);
                if (gathered_.size() < script_.gatherRetrs) continue;
            }
            if (!gathered_.empty()) {
                std::vector<int> held;
                held.swap(gathered_);
                for (int n : held)
                    if (!answerRetr(fd, n)) return;
                if (word == "RETR") continue;
            }
            if (word == "CAPA") {
                if (loggedIn && script_.endlessCapaAfterLogin) return endlessCapa(fd);
                if (script_.capabilities.empty()) {
                    sendText(fd, "-ERR unknown\r\n");
                    continue;
                }
                std::string listing = "+OK\r\n";
                for (const std::string& c : script_.capabilities) listing += c + "\r\n";
                sendText(fd, listing + ".\r\n");
            } else if (word == "USER") {
                sendText(fd, script_.userReply + "\r\n");
            } else if (word == "PASS") {
                loggedIn = true;
                sendText(fd, script_.passReply + "\r\n");
            } else if (word == "UIDL") {
                sendText(fd, script_.uidlReply + "\r\n");
                if (script_.uidlReply[0] != '+') continue;
                int sent = 0;
                for (const std::string& l : script_.listing) {
                    if (sent++ == script_.silentAfterListingLines) return silence(fd);
                    sendText(fd, l + "\r\n");
                }
                if (sent == script_.silentAfterListingLines) return silence(fd);
                sendText(fd, ".\r\n");
            } else if (word == "RETR") {
                if (!script_.silentAfterRetrText.empty()) {
                    sendText(fd, "+OK\r\n" + script_.silentAfterRetrText);
                    return silence(fd);
                }
                if (script_.endlessRetrLine) {
                    sendText(fd, "+OK\r\n");
                    std::string chunk(64 * 1024, 'e');
                    for (std::size_t n = 0; n < script_.endlessRetrLine && !stop_; n += chunk.size())
                        if (::send(fd, chunk.data(), chunk.size(), MSG_NOSIGNAL) <= 0) return;
                    return silence(fd);
                }
                if (script_.refusedRetr.count(number)) {
                    sendText(fd, "-ERR no such message\r\n");
                    continue;
                }
                sendText(fd, "+OK\r\n" + script_.messages[number] + ".\r\n");
            } else if (word == "DELE") {
                sendText(fd, script_.deleReply + "\r\n");
            } else if (word == "QUIT") {
                sendText(fd, "+OK bye\r\n");
                return;
            } else {
                sendText(fd, "-ERR unknown\r\n");
            }
        }
    }

    // Sends capability lines until the client closes the connection or the test ends; what
    // the client sends meanwhile is not read.
    void endlessCapa(int fd) {
        nettest::sendText(fd, "+OK\r\n");
        std::string lines;
        for (int i = 0; i < 1000; ++i) lines += "X-FILLER\r\n";
        std::size_t at = 0;
        while (!stop_) {
            pollfd p{fd, POLLOUT, 0};
            if (::poll(&p, 1, 50) <= 0) continue;
            if (p.revents & (POLLERR | POLLHUP)) return;
            long n = ::send(fd, lines.data() + at, lines.size() - at, MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n < 0 && errno != EAGAIN) return;
            if (n > 0) at = (at + static_cast<std::size_t>(n)) % lines.size();
        }
    }

    // False when the connection is to be dropped here.
    bool answerRetr(int fd, int number) {
        auto dropped = script_.droppedInRetr.find(number);
        if (dropped != script_.droppedInRetr.end()) {
            nettest::sendText(fd, "+OK\r\n" + dropped->second);
            return false;
        }
        if (script_.refusedRetr.count(number)) {
            nettest::sendText(fd, "-ERR no such message\r\n");
        } else {
            nettest::sendText(fd, "+OK\r\n" + script_.messages[number] + ".\r\n");
        }
        return true;
    }

    Script script_;
    std::vector<int> gathered_;
    bool userHeld_ = false;
    nettest::RawListener listener_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<int> sessions_{0};
    std::atomic<int> early_{0};
    std::mutex mutex_;
    std::vector<std::string> commands_;
};

}  // namespace poptest
