// "Sign in…" and the log-in choice of the settings pages: the trawlexctl run behind the button
// (with a stand-in program), and what the account page stores for an account that signs in
// with OAuth 2.0: its choice and the local password, never a provider password it has not got.
#include "frontend/desktop/desktop.h"
#include "frontend/settings/account_sheet.h"
#include "frontend/settings/sign_in.h"
#include "tests/frontend/settings_fixture.h"
#include "tests/support/temp_env.h"

#include <QEventLoop>
#include <QTimer>

#include <filesystem>

namespace fs = std::filesystem;

namespace {

TEST(SignIn, TheArgumentsAndTheAddressTrawlexctlPrints) {
    EXPECT_EQ(signin::authorizeArguments("home", {"google", "id-1", ""}),
              (std::vector<std::string>{"authorize", "home", "--preset", "google", "--client-id", "id-1"}));
    EXPECT_EQ(signin::authorizeArguments("outgoing", {}), (std::vector<std::string>{"authorize", "outgoing"}));
    // A provider no preset knows, by the endpoints its settings file named.
    EXPECT_EQ(signin::authorizeArguments({}, {"", "id-2", "", "https://l.example/a", "https://l.example/t", "mail"}),
              (std::vector<std::string>{"authorize", "--print-tokens", "--auth-url", "https://l.example/a",
                                        "--token-url", "https://l.example/t", "--scope", "mail", "--client-id",
                                        "id-2"}));

    std::string printed = "To sign in home, open this address in a browser:\n\nhttps://accounts.example/auth?a=1&b=2";
    EXPECT_FALSE(signin::addressIn(printed));  // not whole yet
    EXPECT_EQ(signin::addressIn(printed + "\n\nWaiting..."), "https://accounts.example/auth?a=1&b=2");
    EXPECT_EQ(signin::addressIn("x\r\nhttp://127.0.0.1:5/authorize?q\r\n"), "http://127.0.0.1:5/authorize?q");
    EXPECT_FALSE(signin::addressIn("no address here\n"));
}

// A new account's sign-in hands its tokens back; a run that printed only part of them, or
// none, hands back nothing.
TEST(SignIn, ANewAccountsTokensAreReadFromWhatTrawlexctlPrinted) {
    EXPECT_EQ(signin::authorizeArguments({}, {"google", "id-1", "s"}),
              (std::vector<std::string>{"authorize", "--print-tokens", "--preset", "google", "--client-id", "id-1",
                                        "--client-secret", "s"}));
    std::string printed = "To sign in the new account, open this address in a browser:\n\nhttps://a.example/x\n\n"
                          "Waiting for the answer...\nrefresh_token=r=1\r\naccess_token=a.2\nexpires_in=3599\n";
    std::optional<signin::Tokens> t = signin::tokensIn(printed);
    ASSERT_TRUE(t);
    EXPECT_EQ(t->refreshToken, "r=1");
    EXPECT_EQ(t->accessToken, "a.2");
    EXPECT_EQ(t->expiresIn, 3599);
    EXPECT_FALSE(signin::tokensIn("refresh_token=r\n"));
    EXPECT_FALSE(signin::tokensIn("refresh_token=r\naccess_token=a"));  // not whole yet
    EXPECT_FALSE(signin::tokensIn(""));
}

class SignInRunTest : public ::testing::Test {
protected:
    void SetUp() override {
        setOpenUrlHook([this](const std::string& url) {
            opened.push_back(url);
            return true;
        });
    }
    void TearDown() override { setOpenUrlHook({}); }

    // A stand-in trawlexctl: prints what a sign-in prints, records its arguments, ends with status.
    std::string program(int status, const std::string& complaint = {}) {
        std::string dir = testsupport::makeTempDir("signin-");
        std::string path = dir + "/trawlexctl";
        testsupport::writeFile(path, "#!/bin/sh\necho \"$@\" > '" + dir +
                                         "/args'\necho \"BROWSER=${BROWSER-unset}\" >> '" + dir +
                                         "/args'\nprintf 'To sign in, open this address in a browser:\\n\\n"
                                         "https://sign.example/in?x=1\\n\\nWaiting...\\n'\n" +
                                         (complaint.empty() ? "" : "echo 'trawlexctl: " + complaint + "' >&2\n") +
                                         "exit " + std::to_string(status) + "\n");
        fs::permissions(path, fs::perms::owner_all);
        argsFile = dir + "/args";
        return path;
    }

    // Runs a sign-in to its end (bounded): ok and message.
    std::pair<bool, std::string> run(const std::string& path) {
        ::setenv("BROWSER", "firefox", 1);
        SignInRun signIn(nullptr, path);
        std::optional<std::pair<bool, std::string>> result;
        QEventLoop loop;
        QObject::connect(&signIn, &SignInRun::finished, &loop, [&](bool ok, const QString& message) {
            result = {ok, message.toStdString()};
            loop.quit();
        });
        QTimer::singleShot(10000, &loop, &QEventLoop::quit);
        if (signIn.start("home", {"microsoft", "client-7", ""})) loop.exec();
        ::unsetenv("BROWSER");
        return result.value_or(std::pair{false, std::string("no answer")});
    }

    std::vector<std::string> opened;
    std::string argsFile;
};

TEST_F(SignInRunTest, TheAddressOpensInTheDesktopsBrowserAndTheEndIsReported) {
    auto [ok, message] = run(program(0));
    EXPECT_TRUE(ok) << message;
    EXPECT_EQ(opened, (std::vector<std::string>{"https://sign.example/in?x=1"}));
    // trawlexctl must not open it a second time with $BROWSER.
    EXPECT_EQ(testsupport::readFile(argsFile),
              "authorize home --preset microsoft --client-id client-7\nBROWSER=unset\n");
}

TEST_F(SignInRunTest, AFailedSignInSaysWhyInTrawlexctlsWords) {
    auto [ok, message] = run(program(4, "the provider refused the sign-in: access_denied"));
    EXPECT_FALSE(ok);
    EXPECT_EQ(message, "the provider refused the sign-in: access_denied");
    auto [started, why] = run(testsupport::worldDir() + "/no-such-program");
    EXPECT_FALSE(started);
    EXPECT_EQ(why, "trawlexctl could not be started.");
}

class SignInPageTest : public SettingsTest {};

TEST_F(SignInPageTest, AnOAuthAccountKeepsItsLocalPasswordAndNeedsNoProviderPassword) {
    addAccount("home", "Post Office", "post");
    then([&](QDialog& d) {
        auto* kind = in<QComboBox>(d, "signInKind");
        EXPECT_EQ(kind->currentIndex(), 0);
        EXPECT_FALSE(in<QLineEdit>(d, "localPassword")->isEnabled());
        EXPECT_FALSE(in<QPushButton>(d, "signIn")->isEnabled());
        kind->setCurrentIndex(1);
        EXPECT_FALSE(in<QLineEdit>(d, "popPassword")->isEnabled());
        EXPECT_TRUE(in<QLineEdit>(d, "localPassword")->isEnabled());
        EXPECT_TRUE(in<QPushButton>(d, "signIn")->isEnabled());
        type(d, "popPassword", "");  // the provider has none for it: no reason to stay
        press(d, "ok");  // but the e-mail program needs one to log in with
        EXPECT_EQ(d.result(), 0);
        EXPECT_TRUE(boxes.empty());
        EXPECT_EQ(d.focusWidget(), in<QLineEdit>(d, "localPassword"));
        type(d, "localPassword", "local 1");
        type(d, "signInClientId", "client-9");
        press(d, "ok");
        return d.result();
    });
    showAccountProperties(nullptr, 0);
    EXPECT_EQ(accountValue("home", "localpass"), "local 1");
    EXPECT_EQ(accountValue("home", "pass"), "secret");  // left as it was
    EXPECT_EQ(accountValue("home", "oauthclientid"), "client-9");
    plat::RegKey accounts;
    ASSERT_TRUE(config::openAccountsKey(accounts));
    EXPECT_EQ(config::accountDword(accounts, 0, "auth"), 1u);
}

}  // namespace
