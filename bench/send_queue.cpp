// Delivers an outgoing queue directory once with the engine's send driver and prints what its
// owner was told, one notice a line ("itemSent", "itemFailed", "itemRefused PATH", "sendFailed",
// "finished"), then the time the phase took. Used by the delivery benchmark and by the
// end-to-end test, in a working directory of their choosing (the day log is written there).
// With --by-sender each item goes to the outgoing host its envelope sender selects (the
// accounts' own hosts in the settings), HOST and PORT standing for the global one.
//
//   send_queue QUEUE_DIR HOST PORT [TIMEOUT_SECONDS] [--by-sender]
//
// Exit status 0 once finished has arrived, 2 when it did not come in time.
#include "platform/clock.h"
#include "platform/event_loop.h"
#include "platform/window.h"
#include "log/debug.h"
#include "smtp/send.h"
#include "smtp/send_by_host.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

bool g_finished = false;

struct Printer : SendObserver {
    void itemSent() override { std::printf("itemSent\n"); }
    void itemFailed() override { std::printf("itemFailed\n"); }
    void connectionFailed() override { std::printf("sendFailed\n"); }
    void itemRefused(const std::string& path, const std::string&) override {
        std::printf("itemRefused %s\n", path.c_str());
    }
    void sendFinished() override {
        std::printf("finished\n");
        g_finished = true;
    }
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: send_queue QUEUE_DIR HOST PORT [TIMEOUT_SECONDS]\n");
        return 1;
    }
    bool bySender = std::strcmp(argv[argc - 1], "--by-sender") == 0;
    if (bySender) --argc;
    long long limitMs = (argc > 4 ? std::atoll(argv[4]) : 600) * 1000;
    DebugLogOpen();
    Printer printer;
    long long began = plat::monotonicMs();
    // Short slices: a slice runs to its end even after the last notice, and that idle tail
    // would be counted as the driver's time.
    if (bySender) {
        SendByHost send(argv[2], std::atoi(argv[3]), &printer);
        send.start(argv[1]);
        while (!g_finished && plat::monotonicMs() - began < limitMs) plat::pumpMessages(5);
    } else {
        Send send(argv[2], std::atoi(argv[3]), &printer);
        send.start(argv[1]);
        while (!g_finished && plat::monotonicMs() - began < limitMs) plat::pumpMessages(5);
    }
    double seconds = static_cast<double>(plat::monotonicMs() - began) / 1000.0;
    std::printf("seconds %.3f\n", seconds);
    DebugLogClose();
    return g_finished ? 0 : 2;
}
