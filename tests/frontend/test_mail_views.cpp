// The mailbox views: cell texts from header values, the folder tree (roots, account order,
// unread counts, the selection handler), the rows and columns of the list, Delete, viewing,
// the tree's clicks, refresh keeping the folder, and the header cache never showing old text.
#include "frontend/app/main_window.h"
#include "frontend/desktop/desktop.h"
#include "frontend/mail/folder_tree.h"
#include "frontend/mail/item_list.h"
#include "frontend/mail/item_viewer.h"
#include "frontend/mail/mail_dates.h"
#include "frontend/mail/refresh_pacer.h"
#include "frontend/mail/row_cells.h"
#include "config/settings.h"
#include "tests/support/temp_env.h"

#include <QApplication>
#include <QDateTime>
#include <QDialog>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QSplitter>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>

namespace {

namespace fs = std::filesystem;
using testsupport::readFile;
using testsupport::writeFile;
using namespace views;

// What a started program wrote to path (waited for, bounded), or empty.
std::string waitForFile(const std::string& path) {
    for (int i = 0; i < 200 && !fs::exists(path); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return fs::exists(path) ? readFile(path) : std::string();
}

// ---- Cell texts

TEST(MailCells, DatesShowDayMonthHourAndMinute) {
    struct Case {
        const char* text;
        const char* cell;
    };
    const Case cases[] = {
        {"Sun, 06 Dec 1998 10:05:33 +0100", "06 Dec 10:05"},
        {"06 Dec 1998 10:05:33 +0100", "06 Dec 10:05"},
        {"  6   Dec 1998   9:5", "06 Dec 09:05"},
        {"Sunday, 6 December 1998 23:59 GMT", "06 December 23:59"},
        {"Mon, 1 Jan 2001 00:00:00 -0000 (UTC)", "01 Jan 00:00"},
        {"Sun, 06 Dec 1998", ""},  // no time
        {"06 Dec 1998 10", ""},  // hour without minute
        {"06 Dec 1998 10 :05", ""},  // the ':' must follow the hour
        {"yesterday", ""},
        {"", ""},
        {"Sun,", ""},
        {"99999999999 Dec 1998 10:05", ""},  // no wrap-around
        {"06 Abcdefghijklmnopqrs 1998 10:05", "06 Abcdefghijklmnopqrs 10:05"},  // 19 characters
        {"06 Abcdefghijklmnopqrst 1998 10:05", ""},  // 20: unreadable
    };
    for (const Case& c : cases) EXPECT_EQ(formatDateCell(c.text), c.cell) << c.text;
}

TEST(MailCells, ReceivedDateToAndSize) {
    EXPECT_EQ(receivedCell("from a by b; Sun, 06 Dec 1998 10:05:33 +0100"), "06 Dec 10:05");
    EXPECT_EQ(receivedCell("from a by b; id 7; 06 Dec 1998 10:05:33"), "");  // the first ';' counts
    EXPECT_EQ(receivedCell("from a by b (no date)"), std::nullopt);
    EXPECT_EQ(receivedCell(nullptr), std::nullopt);
    EXPECT_EQ(dateCell(nullptr), std::nullopt);
    EXPECT_EQ(dateCell("garbage"), "");

    std::string to128(128, 'a'), to129(129, 'a');
    EXPECT_EQ(toCell(to128.c_str()), to128);
    EXPECT_EQ(toCell(to129.c_str()), "(Multiple recipients)");
    EXPECT_EQ(toCell(nullptr), std::nullopt);

    EXPECT_EQ(sizeCell(0), "0.00 KB");
    EXPECT_EQ(sizeCell(1536), "1.50 KB");
    EXPECT_EQ(sizeCell(1), "0.00 KB");
    EXPECT_EQ(sizeCell(10 * 1024 * 1024), "10240.00 KB");
}

TEST(MailCells, LastCheckInTheLocalesShortFormatsAndNothingBeforeTheFirst) {
    TimeAndDate never = lastCheckTexts(0, QLocale::c());
    EXPECT_TRUE(never.time.isEmpty());
    EXPECT_TRUE(never.date.isEmpty());
    std::time_t noon = 1765195200;  // 2025-12-08 12:00 UTC
    QDateTime when = QDateTime::fromSecsSinceEpoch(noon);
    QLocale german(QLocale::German, QLocale::Germany);
    TimeAndDate shown = lastCheckTexts(noon, german);
    EXPECT_EQ(shown.time, german.toString(when.time(), QLocale::ShortFormat));
    EXPECT_EQ(shown.date, german.toString(when.date(), QLocale::ShortFormat));
    EXPECT_TRUE(shown.date.contains(QLatin1Char('.')));  // "08.12.25", not the C locale's form
}

// A burst of notices costs a big mailbox one refresh per pause, a small one none.
TEST(RefreshPacer, RefreshesAtOnceUnlessTheLastOneWasRecentAndSlow) {
    RefreshPacer pacer;
    EXPECT_EQ(pacer.delayAt(0), 0);
    pacer.refreshed(1000, 2);  // a small mailbox: 2 ms
    EXPECT_EQ(pacer.delayAt(1005), 3);
    EXPECT_EQ(pacer.delayAt(1008), 0);
    pacer.refreshed(2000, 150);  // a big one: 150 ms, then idle for 600 ms
    EXPECT_EQ(pacer.delayAt(2001), 599);
    EXPECT_EQ(pacer.delayAt(2600), 0);
    EXPECT_EQ(pacer.delayAt(9000), 0);
}

// ---- A world of accounts and mailboxes

std::string item(const std::string& subject, const std::string& extra = "") {
    return "Received: from client by local; Sun, 06 Dec 1998 10:05:33 +0100\r\n"
           "From: Ann <ann@example.net>\r\nTo: bob@example.net\r\nSubject: " +
           subject +
           "\r\n"
           "Date: Sat, 05 Dec 1998 09:01:00 +0100\r\n" +
           extra + "\r\nBody\r\n";
}

class ViewsTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::remove_all("accounts");
        fs::remove_all("outgoing");
        fs::create_directories("accounts");
        fs::create_directories("outgoing");
        plat::RegKey accounts;
        ASSERT_TRUE(config::openAccountsKey(accounts));
        std::string title;
        while (config::accountTitle(accounts, 0, title)) ASSERT_TRUE(config::deleteAccountKey(accounts, title));
        setMessageBoxHook([this](const MessageBoxRequest& r) {
            boxes.push_back(r);
            return answer;
        });
        list = std::make_unique<ItemList>(cache);
        watchList();
        tree = std::make_unique<FolderTree>(*list);
        QObject::connect(tree.get(), &FolderTree::propertiesRequested, [this] { commands.push_back("properties"); });
        QObject::connect(tree.get(), &FolderTree::mailProgramStarted, [this] { commands.push_back("started"); });
    }
    void TearDown() override {
        tree.reset();
        list.reset();
        setMessageBoxHook({});
    }

    // An account whose items lie in accounts/<mailbox>.
    void account(const std::string& title, const std::string& mailbox, const std::string& clientFile = "") {
        plat::RegKey accounts;
        ASSERT_TRUE(config::openAccountsKey(accounts));
        ASSERT_TRUE(config::createAccountKey(accounts, title));
        ASSERT_TRUE(config::writeAccountString(accounts, title, "destmailbox", mailbox));
        ASSERT_TRUE(config::writeAccountString(accounts, title, "clientfile", clientFile));
        fs::create_directories("accounts/" + mailbox);
    }
    std::string put(const std::string& dir, const std::string& name, const std::string& text, bool read = false) {
        std::string path = dir + "/" + name;
        writeFile(path, text);
        ::chmod(path.c_str(), read ? 0444 : 0644);
        return path;
    }
    std::vector<std::string> childTexts() {
        std::vector<std::string> out;
        for (int i = 0; i < tree->incomingRoot()->childCount(); ++i)
            out.push_back(tree->incomingRoot()->child(i)->text(0).toStdString());
        return out;
    }
    // The row of the item whose path ends in name, or -1.
    int rowOf(const std::string& name) {
        for (int i = 0; i < list->rows(); ++i) {
            const std::string& p = list->row(i).path;
            if (p.size() >= name.size() && p.compare(p.size() - name.size(), name.size(), name) == 0) return i;
        }
        return -1;
    }
    std::vector<std::string> cells(int r) {
        std::vector<std::string> out;
        for (int c = 0; c < list->model()->columnCount(); ++c) out.push_back(list->cellText(r, c).toStdString());
        return out;
    }
    static std::string shownDate(const char* header) {
        return listDateText(parseMailDate(header).value(), QDateTime::currentSecsSinceEpoch(), QLocale::system())
            .toStdString();
    }
    static std::string shownFileTime(const std::string& path) {
        struct stat st {};
        ::stat(path.c_str(), &st);
        return listDateText(st.st_mtime, QDateTime::currentSecsSinceEpoch(), QLocale::system()).toStdString();
    }
    std::vector<std::string> subjects() {
        std::vector<std::string> out;
        for (int i = 0; i < list->rows(); ++i) out.push_back(list->row(i).header.subject.value_or("-"));
        return out;
    }
    QTreeWidgetItem* childNamed(const std::string& prefix) {
        for (int i = 0; i < tree->incomingRoot()->childCount(); ++i) {
            if (tree->incomingRoot()->child(i)->text(0).toStdString().rfind(prefix, 0) == 0)
                return tree->incomingRoot()->child(i);
        }
        return nullptr;
    }

    HeaderCache cache;
    std::unique_ptr<ItemList> list;
    std::unique_ptr<FolderTree> tree;
    void watchList() {
        QObject::connect(list.get(), &ItemList::viewRequested, [this] { commands.push_back("view"); });
        QObject::connect(list.get(), &ItemList::deleteRequested, [this] { commands.push_back("delete"); });
    }
    std::vector<std::string> commands;
    std::vector<MessageBoxRequest> boxes;
    QMessageBox::StandardButton answer = QMessageBox::Yes;
};

TEST_F(ViewsTest, TreeListsAccountsInReverseOrderWithUnreadCounts) {
    account("alpha", "a@x");
    account("beta", "b@x");
    account("Gamma", "g@x");
    put("accounts/a@x", "1.rfc822", item("one"));
    put("accounts/a@x", "2.rfc822", item("two"));
    put("accounts/a@x", "3.rfc822", item("three"), true);
    put("accounts/g@x", "4.rfc822", item("four"), true);
    put("outgoing", "5.rfc822", item("five"));
    put("outgoing", "5.rfc822.route", "routing");
    tree->fill();

    ASSERT_EQ(tree->topLevelItemCount(), 2);
    EXPECT_EQ(tree->topLevelItem(0)->text(0), "Incoming");
    EXPECT_EQ(childTexts(), (std::vector<std::string>{"Gamma", "beta", "alpha (2)"}));
    EXPECT_EQ(tree->topLevelItem(1)->text(0), "Outgoing (1)");
    EXPECT_TRUE(tree->incomingRoot()->isExpanded());
    EXPECT_EQ(tree->currentItem(), tree->incomingRoot());

    // "Incoming" lists every account's items with the account column.
    EXPECT_EQ(list->kind(), FolderKind::AllAccounts);
    EXPECT_EQ(list->model()->columnCount(), 7);
    ASSERT_EQ(list->rows(), 4);
    // Dates in local time and the user's locale (the year, as it is not this year's).
    EXPECT_EQ(cells(rowOf("4.rfc822")),
              (std::vector<std::string>{shownDate("Sun, 06 Dec 1998 10:05:33 +0100"),
                                        shownDate("Sat, 05 Dec 1998 09:01:00 +0100"), "Ann <ann@example.net>", "four",
                                        "bob@example.net", sizeCell(fs::file_size("accounts/g@x/4.rfc822")), "Gamma"}));
    EXPECT_TRUE(list->row(rowOf("4.rfc822")).header.read);
    EXPECT_FALSE(list->row(rowOf("1.rfc822")).header.read);
    EXPECT_EQ(tree->selectedAccountIndex(), -1);
}

TEST_F(ViewsTest, ColumnsHaveTheirTitlesWidthsAndAlignments) {
    account("alpha", "a@x");
    tree->fill();  // no rows: the columns keep their widths
    const char* titles[] = {"Received", "Date", "From", "Subject", "To", "Size", "Account"};
    const int widths[] = {80, 80, 120, 120, 120, 80, 77};
    for (int c = 0; c < 7; ++c) {
        EXPECT_EQ(list->model()->headerData(c, Qt::Horizontal).toString(), titles[c]);
        EXPECT_EQ(list->header()->sectionSize(c), widths[c]) << c;
    }
    auto align = [&](int c) {
        return list->model()->headerData(c, Qt::Horizontal, Qt::TextAlignmentRole).value<Qt::Alignment>() &
               Qt::AlignHorizontal_Mask;
    };
    for (int c : {0, 1, 5}) EXPECT_EQ(align(c), Qt::AlignRight) << c;
    for (int c : {2, 3, 4, 6}) EXPECT_EQ(align(c), Qt::AlignLeft) << c;
    // Cells cannot be edited.
    put("accounts/a@x", "1.rfc822", item("one"));
    tree->fill();
    EXPECT_FALSE(list->model()->flags(list->model()->index(0, 3)) & Qt::ItemIsEditable);
}

TEST_F(ViewsTest, NamesBeginningWithTheRootsSelectThoseRoots) {
    account("Incoming mail", "in@x");
    account("OUTGOING box", "out@x");
    account("home", "h@x");
    put("accounts/in@x", "1.rfc822", item("in"));
    put("accounts/h@x", "2.rfc822", item("home"));
    put("outgoing", "3.rfc822", item("queued"));
    tree->fill();

    tree->setCurrentItem(childNamed("home"));
    EXPECT_EQ(list->kind(), FolderKind::OneAccount);
    EXPECT_EQ(list->model()->columnCount(), 6);
    ASSERT_EQ(list->rows(), 1);
    EXPECT_EQ(list->row(0).header.subject, "home");
    EXPECT_EQ(tree->selectedFolderText(), "home");
    EXPECT_GE(tree->selectedAccountIndex(), 0);

    // An account titled "OUTGOING box" shows the queue; "Incoming mail" shows every account.
    tree->setCurrentItem(childNamed("OUTGOING"));
    EXPECT_EQ(list->kind(), FolderKind::Outgoing);
    EXPECT_EQ(tree->selectedAccountIndex(), -1);
    ASSERT_EQ(list->rows(), 1);
    EXPECT_EQ(list->row(0).header.subject, "queued");
    tree->setCurrentItem(childNamed("Incoming mail"));
    EXPECT_EQ(list->kind(), FolderKind::AllAccounts);
    EXPECT_EQ(list->rows(), 2);
    EXPECT_EQ(tree->selectedAccountIndex(), -1);

    // The decision by itself, in any case.
    EXPECT_EQ(chooseFolder("incoming", 3).kind, FolderKind::AllAccounts);
    EXPECT_EQ(chooseFolder("outGOING (4)", 3).kind, FolderKind::Outgoing);
    EXPECT_EQ(chooseFolder("Outgo", 2).kind, FolderKind::OneAccount);
}

TEST_F(ViewsTest, MissingHeadersShowADashAndLongRecipientsAreSummed) {
    account("alpha", "a@x");
    put("accounts/a@x", "empty.rfc822", "");
    put("accounts/a@x", "bare.rfc822", "\r\nonly a body\r\n");
    put("accounts/a@x", "nosemi.rfc822",
        "Received: from a by b\r\nDate: not a date\r\nTo: " + std::string(129, 'x') + "\r\n\r\n");
    put("accounts/a@x", "to128.rfc822", "To: " + std::string(128, 'y') + "\r\n\r\n");
    tree->fill();
    ASSERT_EQ(list->rows(), 4);
    // Without a readable "Received" header the item's time of storing is shown.
    for (const char* name : {"empty.rfc822", "bare.rfc822"}) {
        std::vector<std::string> c = cells(rowOf(name));
        EXPECT_EQ(std::vector<std::string>(c.begin(), c.begin() + 5),
                  (std::vector<std::string>{shownFileTime("accounts/a@x/" + std::string(name)), "-", "-", "-", "-"}))
            << name;
    }
    std::vector<std::string> c = cells(rowOf("nosemi.rfc822"));
    EXPECT_EQ(c[0], shownFileTime("accounts/a@x/nosemi.rfc822"));  // "Received" without ';'
    EXPECT_EQ(c[1], "");  // unreadable date: an empty cell
    EXPECT_EQ(c[4], "(Multiple recipients)");
    EXPECT_EQ(cells(rowOf("to128.rfc822"))[4], std::string(128, 'y'));
}

TEST_F(ViewsTest, DeleteAsksAndRemovesTheRoutingFileOfAnOutgoingItemOnly) {
    account("alpha", "a@x");
    std::string in = put("accounts/a@x", "in.rfc822", item("incoming"), true);
    std::string stray = put("accounts/a@x", "other.rfc822", item("other"));
    std::string out = put("outgoing", "out.rfc822", item("queued"));
    std::string route = put("outgoing", "out.rfc822.route", "envelope");
    tree->fill();

    // No: nothing goes.
    list->rememberRow(rowOf("in.rfc822"));
    answer = QMessageBox::No;
    EXPECT_FALSE(confirmAndDelete(*list->rememberedRow(), nullptr));
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text,
              "Confirm deletion of mail item 'Ann <ann@example.net>':'incoming'.\n"
              "Click 'YES' to delete, or 'NO' to cancel.");
    EXPECT_EQ(boxes[0].caption, "Tarnwick");
    EXPECT_EQ(boxes[0].buttons, QMessageBox::Yes | QMessageBox::No);
    EXPECT_TRUE(fs::exists(in));

    // Yes on a read incoming item: only the item goes.
    answer = QMessageBox::Yes;
    EXPECT_TRUE(confirmAndDelete(*list->rememberedRow(), nullptr));
    EXPECT_FALSE(fs::exists(in));
    EXPECT_TRUE(fs::exists(stray));

    // An outgoing item takes its routing file with it.
    tree->setCurrentItem(tree->outgoingRoot());
    list->rememberRow(rowOf("out.rfc822"));
    EXPECT_TRUE(confirmAndDelete(*list->rememberedRow(), nullptr));
    EXPECT_FALSE(fs::exists(out));
    EXPECT_FALSE(fs::exists(route));

    // An item already gone is reported as not deleted.
    EXPECT_FALSE(deleteItemFiles("accounts/a@x/gone.rfc822"));
}

TEST_F(ViewsTest, TheContextMenuRemembersItsItemAcrossARefresh) {
    account("alpha", "a@x");
    put("accounts/a@x", "1.rfc822", item("one"));
    put("accounts/a@x", "2.rfc822", item("two"));
    tree->fill();
    list->resize(600, 300);
    int r = rowOf("2.rfc822");
    list->openContextMenu(list->visualRect(list->model()->index(r, 0)).center());
    auto* menu = list->findChild<QMenu*>(QStringLiteral("MAILLISTMENU"));
    ASSERT_NE(menu, nullptr);
    std::vector<std::pair<std::string, bool>> items;
    for (QAction* a : menu->actions())
        items.emplace_back(a->isSeparator() ? "-" : a->text().toStdString(), a->isEnabled());
    EXPECT_EQ(items, (std::vector<std::pair<std::string, bool>>{{"&View", true}, {"-", true}, {"&Delete", true}}));
    menu->findChild<QAction*>(QStringLiteral("delete"))->trigger();
    EXPECT_EQ(commands, std::vector<std::string>{"delete"});
    menu->close();

    // New mail arrives before the command is handled: the list is rebuilt, the item stays.
    for (int i = 3; i < 20; ++i) put("accounts/a@x", std::to_string(i) + ".rfc822", item("more"));
    tree->refresh();
    ASSERT_TRUE(list->rememberedRow());
    EXPECT_EQ(list->rememberedRow()->path, "accounts/a@x/2.rfc822");
    EXPECT_EQ(list->rememberedRow()->header.subject, "two");
}

TEST_F(ViewsTest, RefreshKeepsTheSelectedFolderAndItsHighlight) {
    account("alpha", "a@x");
    account("beta", "b@x");
    put("accounts/b@x", "1.rfc822", item("one"));
    tree->fill();
    tree->setCurrentItem(childNamed("beta"));
    int index = tree->selectedAccountIndex();
    ASSERT_EQ(list->rows(), 1);
    list->setCurrentIndex(list->model()->index(0, 0));

    put("accounts/b@x", "2.rfc822", item("two"));
    tree->refresh();
    EXPECT_EQ(tree->currentItem()->text(0), "beta (2)");
    EXPECT_EQ(tree->selectedAccountIndex(), index);
    EXPECT_EQ(tree->selectedFolderText(), "beta");
    EXPECT_EQ(list->kind(), FolderKind::OneAccount);
    EXPECT_EQ(list->rows(), 2);
    ASSERT_TRUE(list->currentIndex().isValid());
    EXPECT_EQ(list->row(list->currentIndex().row()).path, "accounts/b@x/1.rfc822");

    // An account added before it moves its index; the selection follows the title.
    account("aardvark", "aa@x");
    tree->refresh();
    EXPECT_EQ(tree->selectedFolderText(), "beta");
    EXPECT_EQ(tree->selectedAccountIndex(), index + 1);
    EXPECT_EQ(tree->currentItem()->text(0), "beta (2)");

    // The queue stays selected too; a removed account falls back to "Incoming".
    tree->setCurrentItem(tree->outgoingRoot());
    put("outgoing", "q.rfc822", item("queued"));
    tree->refresh();
    EXPECT_EQ(tree->currentItem(), tree->outgoingRoot());
    EXPECT_EQ(tree->currentItem()->text(0), "Outgoing (1)");
    EXPECT_EQ(list->rows(), 1);
    tree->setCurrentItem(childNamed("beta"));
    plat::RegKey accounts;
    ASSERT_TRUE(config::openAccountsKey(accounts));
    ASSERT_TRUE(config::deleteAccountKey(accounts, "beta"));
    tree->refresh();
    EXPECT_EQ(tree->currentItem(), tree->incomingRoot());
    EXPECT_EQ(tree->selectedAccountIndex(), -1);
}

TEST_F(ViewsTest, RightClickAsksForPropertiesAndDoubleClickStartsTheClientThenCloses) {
    std::string marker = testsupport::worldDir() + "/client-ran";
    std::string script = testsupport::worldDir() + "/client.sh";
    writeFile(script, "#!/bin/sh\necho \"$@\" > '" + marker + "'\n");
    ::chmod(script.c_str(), 0755);
    fs::remove(marker);
    account("alpha", "a@x", script + " --profile alpha");
    tree->fill();

    tree->rightClicked(tree->incomingRoot());
    tree->rightClicked(tree->outgoingRoot());
    EXPECT_TRUE(commands.empty());
    tree->rightClicked(childNamed("alpha"));
    EXPECT_EQ(commands, std::vector<std::string>{"properties"});
    EXPECT_EQ(tree->currentItem(), childNamed("alpha"));
    EXPECT_EQ(tree->selectedAccountIndex(), 0);

    commands.clear();
    tree->doubleClicked(tree->outgoingRoot());
    QApplication::processEvents();
    EXPECT_TRUE(commands.empty());
    tree->doubleClicked(childNamed("alpha"));
    QApplication::processEvents();
    EXPECT_EQ(commands, std::vector<std::string>{"started"});
    EXPECT_EQ(waitForFile(marker), "--profile alpha\n");
}

// A click on a header sorts by that column; the choice, the widths and the order survive
// refreshes, and the next list (the window opened again) starts with them.
TEST_F(ViewsTest, TheSortAndTheColumnsStayAcrossRefreshesAndReopening) {
    account("alpha", "a@x");
    auto dated = [](const std::string& subject, const std::string& date) {
        return "Subject: " + subject + "\r\nDate: " + date + "\r\n\r\nx\r\n";
    };
    put("accounts/a@x", "1.rfc822", dated("beta", "Tue, 01 Dec 1998 09:01:00 +0100"));
    put("accounts/a@x", "2.rfc822", dated("alpha", "Sat, 05 Dec 1998 09:01:00 +0100"));
    put("accounts/a@x", "3.rfc822", dated("Gamma", "7 Dec 98 08:00 GMT"));
    put("accounts/a@x", "4.rfc822", dated("delta", "garbage"));
    tree->fill();
    // The newest first; an unreadable date last.
    EXPECT_EQ(subjects(), (std::vector<std::string>{"Gamma", "alpha", "beta", "delta"}));
    EXPECT_EQ(list->header()->sortIndicatorSection(), 1);

    list->header()->setSortIndicator(3, Qt::AscendingOrder);  // what a click on "Subject" does
    EXPECT_EQ(subjects(), (std::vector<std::string>{"alpha", "beta", "delta", "Gamma"}));
    list->header()->resizeSection(2, 211);
    list->header()->moveSection(list->header()->visualIndex(6), 0);  // "Account" to the front
    put("accounts/a@x", "5.rfc822", "Subject: epsilon\r\n\r\nx\r\n");
    tree->refresh();
    EXPECT_EQ(subjects(), (std::vector<std::string>{"alpha", "beta", "delta", "epsilon", "Gamma"}));
    EXPECT_EQ(list->header()->sectionSize(2), 211);
    EXPECT_EQ(list->header()->logicalIndex(0), 6);

    // One account's view has no account column; the others keep their order.
    tree->setCurrentItem(childNamed("alpha"));
    EXPECT_EQ(list->header()->logicalIndex(0), 0);
    EXPECT_EQ(list->header()->sectionSize(2), 211);
    EXPECT_EQ(subjects().front(), "alpha");

    list->storeLayout();
    tree.reset();
    list = std::make_unique<ItemList>(cache);
    tree = std::make_unique<FolderTree>(*list);
    tree->fill();
    EXPECT_EQ(list->header()->sortIndicatorSection(), 3);
    EXPECT_EQ(list->header()->sortIndicatorOrder(), Qt::AscendingOrder);
    EXPECT_EQ(list->header()->sectionSize(2), 211);
    EXPECT_EQ(list->header()->logicalIndex(0), 6);
    // The subject takes the room the others leave.
    list->show();
    list->resize(1400, 300);
    QApplication::processEvents();
    int others = 0;
    for (int c = 0; c < list->model()->columnCount(); ++c) others += c == 3 ? 0 : list->header()->sectionSize(c);
    EXPECT_EQ(list->header()->sectionSize(3), list->viewport()->width() - others);
    list->resize(300, 300);
    QApplication::processEvents();
    EXPECT_EQ(list->header()->sectionSize(3), 120);  // never less than its own width

    // A damaged stored value gives the defaults: the newest first.
    config::ListColumns junk{};
    junk.fill(0xFF);
    ASSERT_TRUE(config::writeListColumns(junk));
    ItemList fresh(cache, {});
    FolderTree freshTree(fresh, {});
    freshTree.fill();
    EXPECT_EQ(fresh.header()->sortIndicatorSection(), 1);
    EXPECT_EQ(fresh.header()->sortIndicatorOrder(), Qt::DescendingOrder);
}

// The window's views: the band on top, the tree and the list side by side below it, the tree a
// quarter of the width until the user drags the handle, which a resize then keeps.
TEST_F(ViewsTest, TheWindowsTreeTakesAQuarterBesideTheListUntilTheUserDragsIt) {
    account("alpha", "a@x");
    MainWindow window({});
    window.resize(800, 500);
    window.show();
    window.createViews();
    QApplication::processEvents();
    auto* splitter = window.findChild<QSplitter*>();
    ASSERT_NE(splitter, nullptr);
    QWidget* band = window.findChild<QWidget*>(QStringLiteral("band"));
    ASSERT_NE(band, nullptr);
    QWidget* treeView = window.folderTree();
    QWidget* listView = window.itemList();
    ASSERT_TRUE(treeView && listView);
    EXPECT_EQ(splitter->widget(0), treeView);
    EXPECT_EQ(splitter->widget(1), listView);
    auto quarter = [&] { return splitter->width() / 4; };
    EXPECT_NEAR(treeView->width(), quarter(), 4);
    // Nothing overlaps the band, and the list runs to the right edge.
    EXPECT_GE(splitter->mapTo(&window, QPoint(0, 0)).y(), band->mapTo(&window, QPoint(0, band->height())).y());
    EXPECT_EQ(listView->geometry().right(), splitter->width() - 1);

    window.resize(1200, 600);
    QApplication::processEvents();
    EXPECT_NEAR(treeView->width(), quarter(), 4);

    splitter->setSizes({500, splitter->width() - 500});
    window.resize(1000, 600);
    QApplication::processEvents();
    EXPECT_GT(treeView->width(), quarter() + 100);
    window.destroyViews();
    EXPECT_EQ(window.findChild<QSplitter*>(), nullptr);
}

// The columns fill the list's width, also once enough rows bring the vertical scroll bar:
// no horizontal scroll bar while every column fits, one as soon as they do not.
TEST_F(ViewsTest, TheColumnsFitWithoutAHorizontalScrollBarUntilTheyCannot) {
    account("alpha", "a@x");
    for (int i = 0; i < 60; ++i)
        put("accounts/a@x", std::to_string(100 + i) + ".rfc822",
            "From: Jo Bloggs <jo@example.net>\r\nTo: ann@example.org\r\nSubject: Message number " + std::to_string(i) +
                "\r\nDate: Sat, 05 Dec 1998 09:01:00 +0100\r\n\r\nx\r\n");
    MainWindow window({});
    window.resize(900, 500);
    window.show();
    window.createViews();
    QApplication::processEvents();
    auto* shown = window.findChild<ItemList*>();
    ASSERT_NE(shown, nullptr);
    EXPECT_GT(shown->rows(), 50);
    auto settle = [] {
        for (int i = 0; i < 5; ++i) QApplication::processEvents();
    };
    settle();
    EXPECT_TRUE(shown->verticalScrollBar()->isVisible());
    EXPECT_FALSE(shown->horizontalScrollBar()->isVisible());
    EXPECT_EQ(shown->horizontalScrollBar()->maximum(), 0);
    if (const char* dir = std::getenv("TARNWICK_SCREENS_DIR")) {
        EXPECT_TRUE(window.grab().save(QString::fromLatin1(dir) + "/main-window-list.png"));
    }

    window.resize(420, 500);  // narrower than the columns' own widths
    settle();
    EXPECT_TRUE(shown->horizontalScrollBar()->isVisible());
    window.resize(900, 500);
    settle();
    EXPECT_FALSE(shown->horizontalScrollBar()->isVisible());
    window.destroyViews();
}

TEST_F(ViewsTest, EnterOpensTheSelectedItem) {
    account("alpha", "a@x");
    put("accounts/a@x", "1.rfc822", item("one"));
    put("accounts/a@x", "2.rfc822", item("two"));
    tree->fill();
    QKeyEvent none(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(list.get(), &none);  // nothing selected: nothing opens
    EXPECT_EQ(list->findChild<QDialog*>(QStringLiteral("itemViewer")), nullptr);
    list->setCurrentIndex(list->model()->index(rowOf("1.rfc822"), 2));
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Enter, Qt::KeypadModifier);
    QApplication::sendEvent(list.get(), &enter);
    auto* viewer = list->findChild<QDialog*>(QStringLiteral("itemViewer"));
    ASSERT_NE(viewer, nullptr);
    EXPECT_TRUE(viewer->findChild<QPlainTextEdit*>()->toPlainText().contains(QStringLiteral("Subject: one")));
    EXPECT_EQ(viewer->windowTitle().toStdString(), "one");  // the subject names the window, not the path
    delete viewer;

    // An encoded subject is decoded; an item without one is named by its file.
    put("accounts/a@x", "3.rfc822", "Subject: =?UTF-8?Q?Gr=C3=BC=C3=9Fe?=\r\n\r\nx\r\n");
    put("accounts/a@x", "4.rfc822", "From: a@x\r\n\r\nx\r\n");
    tree->refresh();
    for (auto [name, title] : {std::pair{"3.rfc822",
                                         "Gr\xC3\xBC\xC3\x9F"
                                         "e"},
                               std::pair{"4.rfc822", "4.rfc822"}}) {
        list->setCurrentIndex(list->model()->index(rowOf(name), 2));
        QApplication::sendEvent(list.get(), &enter);
        viewer = list->findChild<QDialog*>(QStringLiteral("itemViewer"));
        ASSERT_NE(viewer, nullptr);
        EXPECT_EQ(viewer->windowTitle().toStdString(), title);
        delete viewer;
    }
}

// ---- Viewing

TEST_F(ViewsTest, ViewOpensTheDesktopsTextViewerOrOurOwn) {
    std::string data = std::getenv("XDG_DATA_HOME"), config = std::getenv("XDG_CONFIG_HOME");
    std::string marker = testsupport::worldDir() + "/viewer-ran";
    std::string script = testsupport::worldDir() + "/viewer.sh";
    writeFile(script, "#!/bin/sh\necho \"$@\" > '" + marker + "'\n");
    ::chmod(script.c_str(), 0755);
    fs::create_directories(data + "/applications");
    writeFile(data + "/applications/test-viewer.desktop",
              "[Desktop Entry]\nType=Application\nName=Viewer\nExec=" + script + " --read-only %f\n");
    writeFile(config + "/mimeapps.list", "[Default Applications]\ntext/plain=test-viewer.desktop\n");
    account("alpha", "a@x");
    std::string path = put("accounts/a@x", "1.rfc822", item("one"));
    EXPECT_EQ(textViewerCommandLine(), script + " --read-only");

    viewItem(path, nullptr);
    EXPECT_EQ(waitForFile(marker), "--read-only " + path + "\n");
    EXPECT_EQ(::access(path.c_str(), W_OK), 0);  // still unread

    // Without a default application the item opens in a read-only window of ours.
    fs::remove(config + "/mimeapps.list");
    QWidget owner;
    viewItem(path, &owner);
    auto* viewer = owner.findChild<QDialog*>(QStringLiteral("itemViewer"));
    ASSERT_NE(viewer, nullptr);
    auto* text = viewer->findChild<QPlainTextEdit*>();
    ASSERT_NE(text, nullptr);
    EXPECT_TRUE(text->isReadOnly());
    EXPECT_TRUE(text->toPlainText().contains(QStringLiteral("Subject: one")));
    fs::remove(data + "/applications/test-viewer.desktop");
}

// ---- The header cache

class HeaderCacheTest : public ::testing::Test {
protected:
    static constexpr std::int64_t kSettle = 100'000'000;  // 100 ms
    void SetUp() override {
        fs::remove_all("cache");
        fs::create_directories("cache");
    }
    void settle() { std::this_thread::sleep_for(std::chrono::milliseconds(150)); }
    std::vector<HeaderCells> read(HeaderCache& c, std::vector<std::string> names) { return c.cells("cache/", names); }
};

TEST_F(HeaderCacheTest, SettledFilesAreReadOnceAndChangesAreAlwaysSeen) {
    HeaderCache cache(kSettle);
    writeFile("cache/a.rfc822", item("aaaa"));
    writeFile("cache/b.rfc822", item("bbbb"));
    settle();
    EXPECT_EQ(read(cache, {"a.rfc822", "b.rfc822"})[1].subject, "bbbb");
    EXPECT_EQ(cache.filesRead(), 2u);
    EXPECT_EQ(read(cache, {"a.rfc822", "b.rfc822"})[0].subject, "aaaa");
    EXPECT_EQ(cache.filesRead(), 2u);  // both from the cache

    // Rewritten in place with the same size and its old modification time put back.
    struct stat before {};
    ASSERT_EQ(::stat("cache/a.rfc822", &before), 0);
    writeFile("cache/a.rfc822", item("AAAA"));
    timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, "cache/a.rfc822", times, 0), 0);
    EXPECT_EQ(read(cache, {"a.rfc822", "b.rfc822"})[0].subject, "AAAA");

    // Replaced by another file of the same size and times.
    writeFile("cache/new.tmp", item("BBBB"));
    struct stat old {};
    ASSERT_EQ(::stat("cache/b.rfc822", &old), 0);
    timespec oldTimes[2] = {old.st_atim, old.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, "cache/new.tmp", oldTimes, 0), 0);
    fs::rename("cache/new.tmp", "cache/b.rfc822");
    EXPECT_EQ(read(cache, {"a.rfc822", "b.rfc822"})[1].subject, "BBBB");

    // A file that left the listing leaves the cache.
    settle();
    read(cache, {"a.rfc822", "b.rfc822"});
    EXPECT_EQ(cache.size(), 2u);
    read(cache, {"a.rfc822"});
    EXPECT_EQ(cache.size(), 1u);
}

TEST_F(HeaderCacheTest, FilesYoungerThanTheClockTickAreReadEveryTime) {
    HeaderCache cache(kSettle);
    writeFile("cache/a.rfc822", item("first"));
    EXPECT_EQ(read(cache, {"a.rfc822"})[0].subject, "first");
    // Changed at once, same size, maybe within the same tick of the file system's clock.
    writeFile("cache/a.rfc822", item("again"));
    EXPECT_EQ(read(cache, {"a.rfc822"})[0].subject, "again");
    EXPECT_EQ(cache.filesRead(), 2u);
    EXPECT_EQ(cache.size(), 0u);
    // A missing file gives dashes and is not kept.
    HeaderCells gone = read(cache, {"gone.rfc822"})[0];
    EXPECT_FALSE(gone.from || gone.subject || gone.to || gone.date || gone.received);
    EXPECT_EQ(cache.size(), 0u);
}

}  // namespace
