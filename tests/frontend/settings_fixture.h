// A clean configuration for each settings test, with every dialog, message box, file dialog,
// sound and nmcli answered by the test: dialogs are driven by scripts queued in order.
#pragma once

#include "frontend/desktop/desktop.h"
#include "frontend/dialogs/modal.h"
#include "config/settings.h"
#include "smtp/outgoing_accounts.h"

#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // The next dialog shown runs script; a dialog without a script is cancelled.
    using Script = std::function<int(QDialog&)>;
    void then(Script script) { scripts.push_back(std::move(script)); }

    // The texts of the message boxes shown since the last call.
    std::vector<std::string> takeBoxes();

    // Accounts made directly in the registry (title, client name, client command line).
    void addAccount(const std::string& title, const std::string& client, const std::string& clientFile,
                    const std::string& user = "user", const std::string& server = "pop.example.net");
    std::string accountValue(const std::string& title, const char* value);
    bool accountPresent(const std::string& title);
    // An account as the engine reads it back: one number (none when not stored), its whole
    // record, and its outgoing route (a failure of the test, and an empty route, when it has none).
    std::optional<std::uint32_t> accountNumber(const std::string& title, const char* value);
    config::AccountRecord accountRecord(const std::string& title);
    outgoing::AccountRoute accountRoute(const std::string& title);
    // Checks each part of the outgoing route of the account expected names.
    void expectRoute(const outgoing::AccountRoute& expected);
    // Whether a settings value is stored at all.
    bool stored(const char* value);

    std::vector<MessageBoxRequest> boxes;
    std::deque<QMessageBox::StandardButton> answers;
    std::deque<Script> scripts;
    std::vector<std::string> dialogsShown;
    std::vector<std::pair<std::string, bool>> sounds;
    std::deque<std::string> browsed;  // paths Browse answers, in order
    std::vector<std::string> opened;  // addresses given to the desktop's browser
    std::vector<int> browseFilters;
    std::string scenario;  // the stand-in nmcli's directory
    std::string oldPath;
};

// Puts a stand-in trawlexctl in place for sign-ins (SettingsTest puts the real one back): it
// prints a sign-in address and, with status 0, the tokens of a new account's sign-in (after
// pauseSeconds), numbered by the run ("ref-1", "acc-1"); else trawlexctl's complaint. Each
// run's arguments are added to the file returned.
std::string useSignInStandIn(int status = 0, int pauseSeconds = 0);

// Runs the loop until done() holds, for at most five seconds; whether it holds.
bool pumpUntil(const std::function<bool()>& done);

// With TARNWICK_SCREENS_DIR set, tests render dialogs into PNG files there for a look by eye.
const char* screensDir();
// Shows d and saves its picture as name in screensDir(); nothing without that directory.
void saveScreen(QDialog& d, const char* name);

// Helpers for scripts: controls by their object names.
template <class T>
T* in(QWidget& w, const char* name) {
    T* c = w.findChild<T*>(QLatin1String(name));
    EXPECT_NE(c, nullptr) << "no control " << name;
    return c;
}
inline void type(QWidget& w, const char* name, const QString& text) {
    in<QLineEdit>(w, name)->setText(text);
}
inline void press(QWidget& w, const char* name) {
    auto* b = w.findChild<QPushButton*>(QString::fromLatin1(name));
    ASSERT_NE(b, nullptr) << name;
    b->click();
}
inline QTabWidget* tabsOf(QDialog& d) {
    return d.findChild<QTabWidget*>(QStringLiteral("tabs"));
}
inline QWidget* page(QDialog& d, const char* name) {
    return d.findChild<QWidget*>(QLatin1String(name));
}
