// E-mail programs: the desktop's registrations in a private XDG tree, the default handler, and
// starting a stored command line.
#include "frontend/desktop/desktop.h"
#include "frontend/desktop/mail_client.h"
#include "frontend/dialogs/new_account_dialog.h"
#include "platform/spawn.h"
#include "tests/support/temp_env.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <sys/stat.h>
#include <thread>

namespace {

namespace fs = std::filesystem;
using testsupport::writeFile;

// The real box: its default button as asked, and Escape answering its safest button.
TEST(MessageBox, EscapeAnswersCancelThenNoThenOk) {
    using B = QMessageBox;
    struct Case {
        QMessageBox::StandardButtons buttons;
        QMessageBox::StandardButton defaultButton, escaped;
    };
    const Case cases[] = {
        {B::Ok, B::Ok, B::Ok}, {B::Yes | B::No, B::Yes, B::No}, {B::Yes | B::No | B::Cancel, B::No, B::Cancel}};
    for (const Case& c : cases) {
        bool defaultAsAsked = false;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            defaultAsAsked = box->defaultButton() == box->button(c.defaultButton);
            QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
            QApplication::sendEvent(box, &escape);
        });
        EXPECT_EQ(messageBox(nullptr, {"Really?", "Tarnwick", c.buttons, c.defaultButton}), c.escaped);
        EXPECT_TRUE(defaultAsAsked) << c.buttons.toInt();
    }
}

TEST(SplitCommandLine, QuotesAndEscapesAsAShellWould) {
    struct Case {
        const char* line;
        std::vector<std::string> words;
    };
    const Case cases[] = {
        {"mailer", {"mailer"}},
        {"  mailer   -compose  ", {"mailer", "-compose"}},
        {"\"/opt/My Mail/bin/mail\" --profile work", {"/opt/My Mail/bin/mail", "--profile", "work"}},
        {"'/opt/it''s/x' a", {"/opt/its/x", "a"}},
        {"/opt/My\\ Mail/mail \"say \\\"hi\\\"\"", {"/opt/My Mail/mail", "say \"hi\""}},
        {"\"a\\b\" 'c\\d'", {"a\\b", "c\\d"}},
        {"x \"\"", {"x", ""}},
        {"x $HOME *", {"x", "$HOME", "*"}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> words;
        EXPECT_TRUE(plat::splitCommandLine(c.line, words)) << c.line;
        EXPECT_EQ(words, c.words) << c.line;
    }
    std::vector<std::string> words;
    for (const char* bad : {"mailer \"open", "mailer 'open", "mailer \\"}) {
        EXPECT_FALSE(plat::splitCommandLine(bad, words)) << bad;
        EXPECT_TRUE(words.empty());
    }
    EXPECT_TRUE(plat::splitCommandLine("   ", words));
    EXPECT_TRUE(words.empty());
}

class LaunchTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = testsupport::worldDir() + "/launch dir";
        fs::create_directories(dir);
        setMessageBoxHook([this](const MessageBoxRequest& r) {
            boxes.push_back(r);
            return QMessageBox::Ok;
        });
    }
    void TearDown() override { setMessageBoxHook({}); }

    std::string script(const std::string& name, const std::string& body, mode_t mode = 0755) {
        std::string path = dir + "/" + name;
        writeFile(path, body);
        ::chmod(path.c_str(), mode);
        return path;
    }
    // Waits (bounded) for a file the started program writes.
    std::string waitForFile(const std::string& path) {
        for (int i = 0; i < 200 && !fs::exists(path); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        return fs::exists(path) ? testsupport::readFile(path) : std::string();
    }

    std::string dir;
    std::vector<MessageBoxRequest> boxes;
};

TEST_F(LaunchTest, AQuotedPathWithBlanksStartsWithItsArguments) {
    std::string out = dir + "/args.txt";
    std::string prog = script("My Mail", "#!/bin/sh\nprintf '%s|' \"$@\" > \"$OUT\"\n");
    ::setenv("OUT", out.c_str(), 1);
    EXPECT_TRUE(launchCommandLine("\"" + prog + "\" -compose 'to=a b' MixedCase.EXE"));
    EXPECT_EQ(waitForFile(out), "-compose|to=a b|MixedCase.EXE|");
    EXPECT_TRUE(boxes.empty());
}

TEST_F(LaunchTest, AProgramOnThePathIsFoundByName) {
    std::string out = dir + "/path.txt";
    script("tw-test-mailer", "#!/bin/sh\necho ran > \"$OUT\"\n");
    ::setenv("OUT", out.c_str(), 1);
    std::string oldPath = std::getenv("PATH");
    ::setenv("PATH", (dir + ":" + oldPath).c_str(), 1);
    bool started = launchCommandLine("tw-test-mailer");
    ::setenv("PATH", oldPath.c_str(), 1);
    EXPECT_TRUE(started);
    EXPECT_EQ(waitForFile(out), "ran\n");
}

TEST_F(LaunchTest, NothingToStartAnswersFalseSilently) {
    std::string plain = script("notes.txt", "just text\n", 0644);
    EXPECT_FALSE(launchCommandLine(""));
    EXPECT_FALSE(launchCommandLine("   "));
    EXPECT_FALSE(launchCommandLine("\"" + plain + "\""));  // not executable
    EXPECT_FALSE(launchCommandLine("'" + dir + "'"));  // a directory
    EXPECT_FALSE(launchCommandLine("no-such-program-tw12 -x"));  // not on PATH
    EXPECT_FALSE(launchCommandLine("\"" + plain));  // unbalanced quote
    EXPECT_TRUE(boxes.empty());
}

TEST_F(LaunchTest, AFailedStartIsShownWithTheProgramAsTyped) {
    // Executable, but no program the kernel can run: exec fails with ENOEXEC.
    std::string bad = script("broken", std::string("\x7f"
                                                   "ELF\x01\x01 not really",
                                                   15));
    std::string typed = "\"" + bad + "\" --x";
    EXPECT_FALSE(launchCommandLine(typed));  // shown, and not taken for a start
    EXPECT_TRUE(boxes.empty());  // the box opens from the loop, which the caller does not wait for
    QCoreApplication::processEvents();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Failed to launch mail program '" + bad + "' [reason = 8]");
    EXPECT_EQ(boxes[0].caption, "Tarnwick");
}

TEST_F(LaunchTest, TheNewAccountDialogShowsTheSettingsAndLaunchesTheClient) {
    std::string out = dir + "/dialog.txt";
    std::string prog = script("client", "#!/bin/sh\necho \"$1\" > \"$OUT\"\n");
    ::setenv("OUT", out.c_str(), 1);
    NewAccountSettingsDialog d(nullptr, "Quill Mail", "'" + prog + "' --inbox", "home");
    auto text = [&d](const char* name) { return d.findChild<QLabel*>(name)->text().toStdString(); };
    EXPECT_EQ(text("emailProgram"), "Quill Mail");
    EXPECT_EQ(text("userName"), "home");
    EXPECT_EQ(text("password"), "**********");
    EXPECT_EQ(text("in"), "127.0.0.1");
    EXPECT_EQ(text("out"), "127.0.0.1");
    EXPECT_EQ(text("inPort"), "110");
    EXPECT_EQ(text("outPort"), "25");
    d.findChild<QPushButton*>("launchClient")->click();
    EXPECT_EQ(waitForFile(out), "--inbox\n");
    EXPECT_NE(d.result(), QDialog::Accepted);  // launching leaves the dialog open
    EXPECT_TRUE(boxes.empty());
}

// A private desktop: XDG_DATA_HOME, XDG_DATA_DIRS and XDG_CONFIG_HOME in the test's world.
class DiscoveryTest : public ::testing::Test {
protected:
    void SetUp() override {
        root = testsupport::makeTempDir("tw-xdg");
        for (const char* d : {"/home/applications", "/sys1/applications/vendor", "/sys2/applications", "/config"})
            fs::create_directories(root + d);
        save("XDG_DATA_HOME", root + "/home");
        save("XDG_DATA_DIRS", root + "/sys1:" + root + "/sys2");
        save("XDG_CONFIG_HOME", root + "/config");
        save("XDG_CONFIG_DIRS", root + "/none");
    }
    void TearDown() override {
        for (auto& [k, v] : saved) {
            if (v) ::setenv(k.c_str(), v->c_str(), 1);
            else ::unsetenv(k.c_str());
        }
    }
    void save(const std::string& k, const std::string& v) {
        const char* old = std::getenv(k.c_str());
        saved.emplace_back(k, old ? std::optional<std::string>(old) : std::nullopt);
        ::setenv(k.c_str(), v.c_str(), 1);
    }
    void entry(const std::string& where, const std::string& body) {
        writeFile(root + where, "[Desktop Entry]\nType=Application\n" + body);
    }
    std::string root;
    std::vector<std::pair<std::string, std::optional<std::string>>> saved;
};

TEST_F(DiscoveryTest, ListsMailHandlersAndEmailProgramsOnce) {
    entry("/sys1/applications/quill.desktop",
          "Name=Quill Mail\nExec=quill %u\nMimeType=text/html;x-scheme-handler/mailto;\n");
    entry("/sys1/applications/vendor/post.desktop",
          "Name=Post Office\nExec=\"/opt/Post Office/post\" --compose %U --flag 100%%\nCategories=Network;Email;\n");
    entry("/sys2/applications/editor.desktop", "Name=Editor\nExec=edit %f\nCategories=Utility;\n");
    entry("/sys2/applications/hidden.desktop", "Name=Hidden Mail\nExec=h\nCategories=Email;\nNoDisplay=true\n");
    // The user's copy of quill hides the system one; a later directory never overrides.
    entry("/home/applications/old.desktop", "Name=Old Mail\nExec=old\nCategories=Email;\nHidden=true\n");
    entry("/sys2/applications/old.desktop", "Name=Old Mail\nExec=old\nCategories=Email;\n");
    entry("/sys2/applications/quill.desktop", "Name=Other Quill\nExec=other\nCategories=Email;\n");
    writeFile(root + "/sys2/applications/broken.desktop", "no group here\nName=Broken\n");

    std::vector<std::string> expected{"Quill Mail", "Post Office"};
    EXPECT_EQ(listMailClients(), expected);
    EXPECT_EQ(mailClientCommandLine("Quill Mail"), "quill");
    EXPECT_EQ(mailClientCommandLine("Post Office"), "\"/opt/Post Office/post\" --compose --flag 100%");
    EXPECT_EQ(mailClientCommandLine("Editor"), "");
    EXPECT_EQ(mailClientCommandLine("Hidden Mail"), "");
    EXPECT_EQ(mailClientCommandLine("Nobody"), "");
}

TEST_F(DiscoveryTest, TheDefaultComesFromTheFirstMimeappsListThatNamesAnInstalledEntry) {
    entry("/sys1/applications/quill.desktop", "Name=Quill Mail\nExec=quill\nMimeType=x-scheme-handler/mailto;\n");
    entry("/sys1/applications/vendor/post.desktop", "Name=Post Office\nExec=post\nCategories=Email;\n");
    EXPECT_EQ(defaultMailClient(), "");
    writeFile(root + "/sys2/applications/mimeapps.list",
              "[Default Applications]\nx-scheme-handler/mailto=quill.desktop\n");
    EXPECT_EQ(defaultMailClient(), "Quill Mail");
    // The user's configuration comes first; an id that is not installed is passed over.
    writeFile(root + "/config/mimeapps.list",
              "[Added Associations]\nx-scheme-handler/mailto=quill.desktop;\n"
              "[Default Applications]\nx-scheme-handler/mailto=gone.desktop;vendor-post.desktop;\n");
    EXPECT_EQ(defaultMailClient(), "Post Office");
}

TEST_F(DiscoveryTest, NoRegistrationsGiveEmptyResults) {
    EXPECT_TRUE(listMailClients().empty());
    EXPECT_EQ(defaultMailClient(), "");
}

}  // namespace
