// Watching the mailboxes: a burst of changes by another program gives one notice soon after,
// read marks and deletions are seen, a mailbox made later is watched too; and the shell stops
// blinking once the e-mail program has collected the unread mail.
#include "frontend/mail/mailbox_watch.h"
#include "tests/support/temp_env.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <sys/stat.h>

namespace {

namespace fs = std::filesystem;
using testsupport::writeFile;

// Runs the loop until done answers true or ms have passed; answers done().
bool waitFor(const std::function<bool()>& done, int ms) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

void settle(int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

TEST(MailboxWatch, ABurstGivesOneNoticeAndLaterMailboxesAreWatchedToo) {
    fs::create_directories("accounts/a@x");
    fs::create_directories("outgoing");
    views::MailboxWatch watch;
    int notices = 0;
    QObject::connect(&watch, &views::MailboxWatch::changed, [&] { ++notices; });
    watch.watch({"accounts/a@x", "outgoing", "accounts/later@x"});

    for (int i = 0; i < 40; ++i) writeFile("accounts/a@x/" + std::to_string(i) + ".rfc822", "Subject: x\r\n\r\n");
    ASSERT_TRUE(waitFor([&] { return notices > 0; }, 2000));
    settle(2 * views::MailboxWatch::kCoalesceMs);
    EXPECT_EQ(notices, 1);

    // The read mark (the write bit) and a deletion, as the local POP3 server makes them.
    ::chmod("accounts/a@x/3.rfc822", 0444);
    ASSERT_TRUE(waitFor([&] { return notices == 2; }, 2000));
    fs::remove("accounts/a@x/4.rfc822");
    ASSERT_TRUE(waitFor([&] { return notices == 3; }, 2000));
    writeFile("outgoing/q.rfc822", "x");
    ASSERT_TRUE(waitFor([&] { return notices == 4; }, 2000));

    // Writing to a file that is already there (the day's log in the data directory) is no
    // change of a mailbox: no notice, and so no refresh that could log and refresh again.
    writeFile("day.log", "first\n");
    ASSERT_TRUE(waitFor([&] { return notices == 5; }, 2000));
    for (int i = 0; i < 5; ++i) {
        std::FILE* log = std::fopen("day.log", "a");
        std::fputs("another line\n", log);
        std::fclose(log);
    }
    settle(2 * views::MailboxWatch::kCoalesceMs);
    EXPECT_EQ(notices, 5);

    // A mailbox that did not exist when the watch began.
    fs::create_directories("accounts/later@x");
    ASSERT_TRUE(waitFor([&] { return notices == 6; }, 2000));
    writeFile("accounts/later@x/1.rfc822", "x");
    EXPECT_TRUE(waitFor([&] { return notices == 7; }, 2000));
}

}  // namespace
