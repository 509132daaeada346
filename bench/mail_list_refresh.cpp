// How long the mail views take to show a big mailbox, against two plain ways of reading the
// same headers measured in the same run:
//   - "read every header": the listing plus one header read per item, each under its own hold
//     of the lock, and the cell texts (what a view without a cache does on every refresh);
//   - "grep": one `grep -m1 -i ^Subject:` over the same files (reads each file up to its
//     Subject line; a lower bound for anything that opens every file).
// The views run on the offscreen platform in a private world (temporary XDG directories and
// working directory), with one account of ITEMS items and a queue of 50.
//
//   mail_list_refresh [ITEMS]        (default 10000)
//
// Exit status 0 when every refresh of the views stays under one second, 2 otherwise.
#include "frontend/mail/folder_tree.h"
#include "frontend/mail/header_cache.h"
#include "frontend/mail/item_list.h"
#include "frontend/mail/folders.h"
#include "frontend/mail/row_cells.h"
#include "log/debug.h"
#include "config/settings.h"
#include "store/maildrop.h"

#include <QApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

double msSince(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

template <class F>
double timed(F&& f) {
    auto t0 = std::chrono::steady_clock::now();
    f();
    return msSince(t0);
}

// A retrieved message of a few kilobytes with the header block a provider writes.
void writeItem(const std::string& path, int n) {
    std::ofstream out(path, std::ios::binary);
    out << "Return-Path: <sender" << n << "@example.org>\r\n"
        << "Received: from mx" << n % 7 << ".example.org (mx.example.org [192.0.2." << n % 250 << "])\r\n"
        << "\tby pop.example.net with ESMTP id " << 100000 + n << "\r\n"
        << "\tfor <user@example.net>; Sun, 06 Dec 2026 10:" << n % 60 / 10 << n % 10 << ":33 +0100\r\n"
        << "Received: from client.example.org by mx.example.org; Sun, 06 Dec 2026 10:00:01 +0100\r\n"
        << "Message-ID: <" << n << ".bench@example.org>\r\n"
        << "Date: Sun, 06 Dec 2026 09:59:" << n % 60 / 10 << n % 10 << " +0100\r\n"
        << "From: Sender Number " << n << " <sender" << n << "@example.org>\r\n"
        << "To: user@example.net\r\n"
        << "Subject: Benchmark message number " << n << " with a subject of ordinary length\r\n"
        << "MIME-Version: 1.0\r\nContent-Type: text/plain; charset=us-ascii\r\n"
        << "Content-Transfer-Encoding: 7bit\r\nX-Mailer: bench\r\n\r\n";
    for (int line = 0; line < 20 + n % 40; ++line)
        out << "Body line " << line << " of message " << n << ", some words to give it a usual size.\r\n";
}

std::string world;  // the working directory inside the private world

void enterWorld() {
    char pattern[] = "/tmp/mail-list-bench-XXXXXX";
    if (!::mkdtemp(pattern)) std::exit(1);
    std::string root = pattern;
    for (const char* sub : {"/run", "/config", "/data", "/work"}) fs::create_directories(root + sub);
    fs::permissions(root + "/run", fs::perms::owner_all);
    ::setenv("XDG_RUNTIME_DIR", (root + "/run").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (root + "/config").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (root + "/data").c_str(), 1);
    world = root + "/work";
    if (::chdir(world.c_str()) != 0) std::exit(1);
    std::printf("world %s\n", root.c_str());
}

// The same work without the views and without a cache.
std::size_t readEveryHeader(const std::string& dir) {
    store::MailDrop drop(dir);
    std::size_t cells = 0;
    for (int i = 1; i <= drop.count(); ++i) {
        views::HeaderCells h = views::readHeaderCells(drop.itemPath(i));
        cells += h.received.has_value() + h.date.has_value() + h.from.has_value() + h.subject.has_value() +
                 h.to.has_value();
        cells += !views::sizeCell(drop.itemSize(i)).empty();
        cells += drop.isRead(i);
    }
    return cells;
}

}  // namespace

int main(int argc, char** argv) {
    int items = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10000;
    enterWorld();
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    DebugLogOpen();

    const std::string dir = "accounts/bench@example.net";
    fs::create_directories(dir);
    fs::create_directories("outgoing");
    for (int n = 0; n < items; ++n) writeItem(dir + "/[bench]" + std::to_string(n) + ".rfc822", n);
    for (int n = 0; n < 50; ++n) writeItem("outgoing/2026120610" + std::to_string(100000 + n) + ".rfc822", n);
    {
        plat::RegKey accounts;
        if (!config::openAccountsKey(accounts) || !config::createAccountKey(accounts, "bench") ||
            !config::writeAccountString(accounts, "bench", "destmailbox", "bench@example.net"))
            return 1;
    }
    // Let the files settle (older than the file system's clock tick) so the cache may keep them.
    ::sleep(3);
    std::printf("items %d in one account, 50 queued\n", items);

    double grepMs = timed([&] {
        std::string cmd = "grep -m1 -i -r -h '^Subject:' '" + dir + "' > /dev/null";
        if (std::system(cmd.c_str()) != 0) std::printf("grep failed\n");
    });
    std::size_t cells = 0;
    double naiveMs = timed([&] { cells = readEveryHeader(dir); });
    double naiveAgainMs = timed([&] { cells += readEveryHeader(dir); });

    views::HeaderCache cache;
    views::ItemList list(cache, {});
    views::FolderTree tree(list, {});
    list.resize(800, 600);
    tree.resize(200, 600);
    list.show();

    // The same views with a cache that keeps nothing: every refresh reads every header. The
    // two take turns, so that both meet the same machine.
    views::HeaderCache noCache(std::numeric_limits<std::int64_t>::max());
    views::ItemList plainList(noCache, {});
    views::FolderTree plainTree(plainList, {});

    double firstMs = timed([&] { tree.fill(); });
    double plainMs = timed([&] { plainTree.fill(); });
    if (list.rows() != items) std::printf("rows %d, expected %d\n", list.rows(), items);
    std::vector<double> warm, plain;
    for (int i = 0; i < 5; ++i) {
        warm.push_back(timed([&] { tree.refresh(); }));
        plain.push_back(timed([&] { plainTree.refresh(); }));
    }
    std::sort(warm.begin(), warm.end());
    std::sort(plain.begin(), plain.end());
    for (int n = items; n < items + 100; ++n) writeItem(dir + "/[bench]" + std::to_string(n) + ".rfc822", n);
    double newMailMs = timed([&] { tree.refresh(); });
    tree.setCurrentItem(tree.accountNode(0));
    double accountMs = timed([&] { tree.refresh(); });
    double nodesMs = timed([&] {
        views::Listings listings;
        views::accountNodes(listings);
    });
    double rowsMs = timed([&] {
        views::Listings listings;
        views::folderRows(views::FolderKind::AllAccounts, "", cache, listings);
    });
    double dropMs = timed([&] { store::MailDrop drop(dir); });
    QApplication::processEvents();
    double paintMs = timed([&] { list.viewport()->repaint(); });

    std::printf("baseline  grep -m1 over the files           %8.1f ms\n", grepMs);
    std::printf("baseline  read every header (lock per file)  %8.1f ms  again %8.1f ms  (%zu cells)\n", naiveMs,
                naiveAgainMs, cells);
    std::printf("views     first fill (empty cache)           %8.1f ms\n", firstMs);
    std::printf("views     refresh, nothing changed           %8.1f ms median, %.1f ms max of 5\n", warm[2],
                warm.back());
    std::printf("views     refresh after 100 new items        %8.1f ms  (%zu headers read in all)\n", newMailMs,
                cache.filesRead());
    std::printf("views     refresh with the account selected  %8.1f ms\n", accountMs);
    std::printf("views     without the cache: fill %.1f ms, refresh %.1f ms median, %.1f ms max of 5\n", plainMs,
                plain[2], plain.back());
    std::printf("parts     tree's counts %.1f ms, list's rows %.1f ms, one listing %.1f ms\n", nodesMs, rowsMs, dropMs);
    std::printf("views     paint one screen of the list       %8.1f ms\n", paintMs);
    double worst = std::max({firstMs, warm.back(), newMailMs, accountMs});
    std::printf("%s: slowest refresh %.1f ms (limit 1000 ms)\n", worst < 1000 ? "PASS" : "FAIL", worst);
    DebugLogClose();
    fs::current_path("/");
    fs::remove_all(fs::path(world).parent_path());
    return worst < 1000 ? 0 : 2;
}
