// The engine's hidden control window "APPCLASS"/"Trawlex": the link protocol with the
// controller (the front end, or trawlexctl) and the notices of the running cycle and of the
// local SMTP server.
#pragma once

#include "platform/window.h"

#include <functional>
#include <memory>
#include <string>

// What a cycle tells the engine. itemRefused and itemStored come at once, their texts valid
// during the call; the others each in a turn of the loop of their own, in the order of the
// events. After cycleFinished the cycle may be deleted.
class CycleObserver {
public:
    virtual ~CycleObserver() = default;
    virtual void dialFailed() = 0;
    virtual void sendStarted() = 0;
    // A step went wrong: an item was not sent, or an account not checked.
    virtual void stepFailed() = 0;
    virtual void itemSent() = 0;
    // reply: the lines of the provider's refusal, each with its CRLF; host: the outgoing host
    // that refused it ("host:port"), empty when no server did.
    virtual void itemRefused(const std::string& path, const std::string& reply, const std::string& host) = 0;
    virtual void checkStarted() = 0;
    virtual void itemStored(const std::string& path) = 0;
    virtual void cycleFinished() = 0;
};

// What the engine needs of a running cycle: it tells the control window, its CycleObserver,
// and is destroyed when it has finished.
class RunningCycle {
public:
    virtual ~RunningCycle() = default;
    // LINK_START_CYCLE arrived while this cycle runs.
    virtual void rerunRequest() = 0;
};

// The configuration a cycle starts with, read from the settings key at every start.
struct CycleConfig {
    std::string outHostName;
    unsigned outHostPort = 0;
    std::string rasEntry;
};

// Builds and starts the cycle for a configuration; null when it cannot be created.
using CycleFactory = std::function<std::unique_ptr<RunningCycle>(CycleObserver& observer, const CycleConfig&)>;

class ControlWindow : private CycleObserver {
public:
    ControlWindow();
    ~ControlWindow() override;
    ControlWindow(const ControlWindow&) = delete;
    ControlWindow& operator=(const ControlWindow&) = delete;

    // Registers "APPCLASS" and creates the hidden window titled "Trawlex". False on failure.
    [[nodiscard]] bool create();
    plat::HWND window() const { return window_; }
    plat::HWND controller() const { return controller_; }
    bool cycleRunning() const { return cycle_ != nullptr; }

    // Without a factory a start request ends after the configuration has been read.
    void setCycleFactory(CycleFactory factory) { factory_ = std::move(factory); }
    // Runs as each cycle request that starts a new cycle is taken (before its settings are read).
    void setCycleStartHook(std::function<void()> hook) { cycleStartHook_ = std::move(hook); }

    // The local SMTP server has queued an item: the controller hears NEW_OUTGOING_MAIL.
    void newOutgoingQueued();

    // What LINK_SHUTDOWN does: destroys the window, which ends the engine's loop.
    void shutdown();

    // Destroys a running cycle (at the end of the engine's loop).
    void endCycle() { cycle_.reset(); }

private:
    static plat::LRESULT procedure(plat::HWND, plat::UINT, plat::WPARAM, plat::LPARAM);
    plat::LRESULT handle(plat::UINT msg, plat::WPARAM wParam, plat::LPARAM lParam);

    void onLink(plat::WPARAM code, plat::LPARAM lParam);
    void setController(plat::LPARAM lParam);
    void startCycle();
    void dialFailed() override;
    void sendStarted() override;
    void stepFailed() override;
    void itemSent() override;
    void itemRefused(const std::string& path, const std::string& reply, const std::string& host) override;
    void checkStarted() override;
    void itemStored(const std::string& path) override;
    void cycleFinished() override;
    void postToController(int code);
    // A data record: the path and its NUL, then, when given, the reason and its NUL.
    // reason: reasonSize bytes (NULs allowed), or up to its NUL.
    static constexpr std::size_t kWholeString = static_cast<std::size_t>(-1);
    void sendPath(int dwData, const char* path, const char* reason = nullptr, std::size_t reasonSize = kWholeString);

    plat::HWND window_ = 0;
    plat::HWND controller_ = 0;
    std::unique_ptr<RunningCycle> cycle_;
    CycleFactory factory_;
    std::function<void()> cycleStartHook_;
};
