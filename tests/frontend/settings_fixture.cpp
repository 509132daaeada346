#include "tests/frontend/settings_fixture.h"

#include "frontend/dialogs/browse.h"
#include "frontend/settings/sign_in.h"
#include "frontend/settings/wizard_check_page.h"
#include "frontend/sound/sound_player.h"
#include "platform/registry.h"
#include "tests/support/temp_env.h"

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>

#include <cstdlib>
#include <filesystem>

// What a dialog asked of nmcli when it was built has been answered, as a user would see it.
void settle(QDialog& d) {
    QElapsedTimer t;
    t.start();
    while (d.findChild<QObject*>(QStringLiteral("nmcliQuery")) && t.elapsed() < 8000)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
}

bool pumpUntil(const std::function<bool()>& done) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < 5000) QApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
}

void SettingsTest::SetUp() {
    // The wizard's server check finds all well at once, unless a test says otherwise.
    check::setStartHook([](const autoconfig::ProbeTarget&, check::Answer answer) {
        autoconfig::ProbeReport report;
        report.steps.push_back({"connect", true, "", 0});
        answer(report);
    });
    plat::RegKey software;
    if (plat::regOpenKey(plat::Hive::CurrentUser, "SOFTWARE\\Orrindale Systems", plat::KeyAccess::Create, software) ==
        plat::RegStatus::Ok)
        plat::regDeleteTree(software, "Tarnwick");
    std::filesystem::create_directories(testsupport::worldDir() + "/accounts");
    scenario = testsupport::makeTempDir("nmcli-");
    testsupport::writeFile(scenario + "/entries", "MyISP\nWork VPN\n");
    oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
    ::setenv("NMCLI_SCENARIO", scenario.c_str(), 1);
    ::setenv("PATH", (std::string(NMCLI_FIXTURE_DIR) + ":" + oldPath).c_str(), 1);

    setMessageBoxHook([this](const MessageBoxRequest& r) {
        boxes.push_back(r);
        if (answers.empty()) return r.buttons == QMessageBox::Ok ? QMessageBox::Ok : QMessageBox::No;
        QMessageBox::StandardButton a = answers.front();
        answers.pop_front();
        return a;
    });
    setModalHook([this](QDialog& d) {
        dialogsShown.push_back(d.objectName().toStdString());
        settle(d);
        if (scripts.empty()) return 0;
        Script s = std::move(scripts.front());
        scripts.pop_front();
        return s(d);
    });
    setBrowseHook([this](int filter) {
        browseFilters.push_back(filter);
        if (browsed.empty()) return std::string();
        std::string p = browsed.front();
        browsed.pop_front();
        return p;
    });
    setSoundHook([this](const std::string& file, bool wait) {
        sounds.emplace_back(file, wait);
        return true;
    });
    setOpenUrlHook([this](const std::string& url) {
        opened.push_back(url);
        return true;
    });
}

void SettingsTest::TearDown() {
    check::setStartHook({});
    SignInRun::setDefaultProgram({});
    setOpenUrlHook({});
    setMessageBoxHook({});
    setModalHook({});
    setBrowseHook({});
    setSoundHook({});
    ::setenv("PATH", oldPath.c_str(), 1);
    ::unsetenv("NMCLI_SCENARIO");
    EXPECT_TRUE(scripts.empty()) << scripts.size() << " dialog scripts never ran";
}

std::vector<std::string> SettingsTest::takeBoxes() {
    std::vector<std::string> texts;
    for (const auto& b : boxes) texts.push_back(b.text);
    boxes.clear();
    return texts;
}

void SettingsTest::addAccount(const std::string& title, const std::string& client, const std::string& clientFile,
                              const std::string& user, const std::string& server) {
    plat::RegKey accounts;
    ASSERT_TRUE(config::openAccountsKey(accounts));
    ASSERT_TRUE(config::createAccount(accounts, {title, server, 110, user, "secret", client, clientFile}));
}

std::string SettingsTest::accountValue(const std::string& title, const char* value) {
    plat::RegKey accounts;
    config::openAccountsKey(accounts);
    int i = config::findAccount(accounts, title);
    return i < 0 ? "<no account>" : config::accountString(accounts, i, value);
}

bool SettingsTest::accountPresent(const std::string& title) {
    plat::RegKey accounts;
    return config::openAccountsKey(accounts) && config::findAccount(accounts, title) >= 0;
}

std::optional<std::uint32_t> SettingsTest::accountNumber(const std::string& title, const char* value) {
    plat::RegKey accounts;
    config::openAccountsKey(accounts);
    return config::accountDword(accounts, config::findAccount(accounts, title), value);
}

config::AccountRecord SettingsTest::accountRecord(const std::string& title) {
    plat::RegKey accounts;
    config::openAccountsKey(accounts);
    config::AccountRecord r;
    EXPECT_TRUE(config::readAccountRecord(accounts, config::findAccount(accounts, title), r)) << title;
    return r;
}

outgoing::AccountRoute SettingsTest::accountRoute(const std::string& title) {
    for (const outgoing::AccountRoute& r : outgoing::readAccountRoutes(kAccountsKey))
        if (r.account == title) return r;
    ADD_FAILURE() << "no route for " << title;
    return {};
}

void SettingsTest::expectRoute(const outgoing::AccountRoute& expected) {
    SCOPED_TRACE("the outgoing route of " + expected.account);
    outgoing::AccountRoute r = accountRoute(expected.account);
    EXPECT_EQ(r.server, expected.server);
    EXPECT_EQ(r.port, expected.port);
    EXPECT_EQ(r.security, expected.security);
    EXPECT_EQ(r.user, expected.user);
    EXPECT_EQ(r.oauth, expected.oauth);
    EXPECT_EQ(r.addresses, expected.addresses);
}

bool SettingsTest::stored(const char* value) {
    plat::RegKey key;
    if (plat::regOpenKey(plat::Hive::CurrentUser, kSettingsKey, plat::KeyAccess::Read, key) != plat::RegStatus::Ok)
        return false;
    plat::RegType type;
    std::size_t size;
    return plat::regQueryInfo(key, value, type, size) == plat::RegStatus::Ok;
}

const char* screensDir() {
    return std::getenv("TARNWICK_SCREENS_DIR");
}

std::string useSignInStandIn(int status, int pauseSeconds) {
    std::string dir = testsupport::makeTempDir("signin-");
    std::string runs = dir + "/runs", path = dir + "/trawlexctl";
    std::string tokens =
        status == 0 ? "printf 'refresh_token=ref-%s\\naccess_token=acc-%s\\nexpires_in=3599\\n' \"$n\" \"$n\"\n"
                    : "echo 'trawlexctl: the provider refused the sign-in: access_denied' >&2\n";
    std::string pause = "case \"$*\" in *--print-tokens*) sleep " + std::to_string(pauseSeconds) + ";; esac\n";
    testsupport::writeFile(path, "#!/bin/sh\necho \"$@\" >> '" + runs + "'\nn=$(wc -l < '" + runs +
                                     "')\nprintf 'To sign in, open this address in a browser:\\n\\n"
                                     "https://login.example/authorize?client_id=c\\n\\nWaiting...\\n'\n" +
                                     pause + tokens + "exit " + std::to_string(status) + "\n");
    std::filesystem::permissions(path, std::filesystem::perms::owner_all);
    SignInRun::setDefaultProgram(path);
    return runs;
}

void saveScreen(QDialog& d, const char* name) {
    if (!screensDir()) return;
    d.show();
    QApplication::processEvents();
    EXPECT_TRUE(d.grab().save(QString::fromLatin1(screensDir()) + "/" + name)) << name;
}
