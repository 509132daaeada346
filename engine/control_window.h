// The engine's hidden control window "APPCLASS"/"Trawlex": the link protocol with the
// controller (the front end, or trawlexctl) and the notices of the running cycle and of the
// local SMTP server.
#pragma once

#include "engine/engine_notices.h"
#include "platform/window.h"

#include <functional>
#include <memory>
#include <string>

// What the engine needs of a running cycle. The cycle posts (or sends) EngineNotices to the
// control window and is destroyed when its ENGINE_CYCLE_FINISHED notice has been handled.
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
using CycleFactory =
    std::function<std::unique_ptr<RunningCycle>(plat::HWND controlWindow, const CycleConfig&,
                                                const EngineNotices&)>;

class ControlWindow {
public:
    ControlWindow();
    ~ControlWindow();
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
    const EngineNotices& notices() const { return notices_; }

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
    void onCycleNotice(plat::WPARAM code, plat::LPARAM lParam);
    void postToController(int code);
    // A data record: the path and its NUL, then, when given, the reason and its NUL.
    void sendPath(int dwData, const char* path, const char* reason = nullptr);

    plat::HWND window_ = 0;
    plat::HWND controller_ = 0;
    std::unique_ptr<RunningCycle> cycle_;
    CycleFactory factory_;
    std::function<void()> cycleStartHook_;
    EngineNotices notices_;
};
