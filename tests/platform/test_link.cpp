// The link between programs: its records, and a real peer process over the runtime directory.
#include "platform/clock.h"
#include "platform/event_loop.h"
#include "platform/link.h"
#include "platform/link_record.h"
#include "platform/paths.h"
#include "platform/window.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <string>
#include <vector>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace plat;

#ifndef LINK_PEER_PATH
#error "LINK_PEER_PATH must name the link_peer program"
#endif

namespace {

// ---- records -------------------------------------------------------------------------------

link::Record sample() {
    link::Record r;
    r.kind = link::Kind::Send;
    r.msg = WM_COPYDATA;
    r.flags = link::kWParamRef | link::kCopyData;
    r.wParam = 77;
    r.dwData = 100;
    r.wRef = "APPCLASS.Trawlex";
    r.copyData = std::string("outgoing/1.rfc822\0", 18);
    return r;
}

TEST(LinkRecord, RoundTripsWholeAndByteByByte) {
    std::string bytes = link::encode(sample());
    link::Record out;
    std::size_t used = 0;
    ASSERT_EQ(link::decode(bytes + "trailing", out, used), link::DecodeResult::Complete);
    EXPECT_EQ(used, bytes.size());
    EXPECT_EQ(out.wRef, "APPCLASS.Trawlex");
    EXPECT_EQ(out.copyData, sample().copyData);
    EXPECT_EQ(out.dwData, 100u);
    EXPECT_EQ(out.kind, link::Kind::Send);
    for (std::size_t n = 0; n < bytes.size(); ++n) {
        ASSERT_EQ(link::decode(bytes.substr(0, n), out, used), link::DecodeResult::NeedMore) << n;
    }
}

TEST(LinkRecord, RefusesWhatCouldHarmTheReceiver) {
    link::Record out;
    std::size_t used = 0;
    std::string bytes = link::encode(sample());
    std::string badMagic = bytes;
    badMagic[0] = 'X';
    EXPECT_EQ(link::decode(badMagic, out, used), link::DecodeResult::Malformed);
    std::string huge = bytes;
    huge[43] = '\x7f';  // payload length far beyond the limit
    EXPECT_EQ(link::decode(huge, out, used), link::DecodeResult::Malformed);
    std::string badKind = bytes;
    badKind[6] = 9;
    EXPECT_EQ(link::decode(badKind, out, used), link::DecodeResult::Malformed);

    for (const char* ref : {"../etc/passwd", ".hidden", "a/b", ""}) {
        link::Record r = sample();
        r.wRef = ref;
        EXPECT_EQ(link::decode(link::encode(r), out, used), link::DecodeResult::Malformed) << ref;
    }
    link::Record shortRef = sample();
    shortRef.flags = link::kWParamRef | link::kLParamRef;  // promises a second reference
    shortRef.copyData.clear();
    std::string cut = link::encode(shortRef);
    EXPECT_EQ(link::decode(cut, out, used), link::DecodeResult::Malformed);
}

// ---- a real peer ---------------------------------------------------------------------------

struct Heard {
    UINT msg = 0;
    WPARAM wParam = 0;
    int count = 0;
};
Heard g_heard;

LRESULT hostProc(HWND, UINT msg, WPARAM wParam, LPARAM) {
    g_heard.msg = msg;
    g_heard.wParam = wParam;
    ++g_heard.count;
    return 0;
}

class LinkPeer : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_TRUE(registerClass("TESTHOST", hostProc));
        host = createWindow("TESTHOST", "", 0);
        ASSERT_EQ(publishWindow(host, "TESTHOST", "main", WM_USER + 8), PublishResult::Published);
        int fds[2];
        ASSERT_EQ(::pipe(fds), 0);
        peerPid = ::fork();
        if (peerPid == 0) {
            ::dup2(fds[1], 1);
            ::execl(LINK_PEER_PATH, LINK_PEER_PATH, "one", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(fds[1]);
        char line[16] = {};
        ASSERT_GT(::read(fds[0], line, sizeof line - 1), 0);
        ::close(fds[0]);
        ASSERT_STREQ(line, "ready\n");
    }
    static void TearDownTestSuite() {
        ::kill(peerPid, SIGTERM);
        ::waitpid(peerPid, nullptr, 0);
        destroyWindow(host);
    }
    void SetUp() override { g_heard = Heard{}; }

    static void waitHeard(int n) {
        for (int i = 0; i < 200 && g_heard.count < n; ++i) pumpMessages(10);
    }

    static HWND host;
    static pid_t peerPid;
};
HWND LinkPeer::host = 0;
pid_t LinkPeer::peerPid = 0;

TEST_F(LinkPeer, PostCarriesAWindowReferenceTheReceiverCanAnswer) {
    HWND peer = findWindow("TESTPEER", "one");
    ASSERT_NE(peer, 0u);
    EXPECT_TRUE(isRemoteWindow(peer));
    ASSERT_TRUE(postMessage(peer, WM_USER + 7, 41, static_cast<LPARAM>(host)));
    waitHeard(1);
    EXPECT_EQ(g_heard.msg, static_cast<UINT>(WM_USER + 8));
    EXPECT_EQ(g_heard.wParam, 42u);
}

TEST_F(LinkPeer, CopyDataIsSentWholeAndAnswered) {
    HWND peer = findWindow("TESTPEER", "one");
    ASSERT_NE(peer, 0u);
    COPYDATASTRUCT cds{6, 5, "abcd"};
    EXPECT_EQ(sendMessage(peer, WM_COPYDATA, host, reinterpret_cast<LPARAM>(&cds)), 6005);
}

TEST_F(LinkPeer, NothingAnswersForAnUnpublishedWindowOrAStaleSocket) {
    EXPECT_EQ(findWindow("TESTPEER", "nobody"), 0u);
    // A socket file left by a process that died: the next publisher takes its place.
    std::string path = linkSocketPath("TESTHOST", "stale");
    int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un sa{};
    sa.sun_family = AF_UNIX;
    std::snprintf(sa.sun_path, sizeof sa.sun_path, "%s", path.c_str());
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa), 0);
    ::close(fd);
    EXPECT_EQ(findWindow("TESTHOST", "stale"), 0u);
    HWND w = createWindow("TESTHOST", "stale", 0);
    EXPECT_EQ(publishWindow(w, "TESTHOST", "stale", WM_USER + 8), PublishResult::Published);
    destroyWindow(w);
    struct stat st {};
    EXPECT_NE(::stat(path.c_str(), &st), 0);  // removed with its window
    // A live one is not taken over.
    HWND twin = createWindow("TESTHOST", "one", 0);
    EXPECT_EQ(publishWindow(twin, "TESTPEER", "one", WM_USER + 7), PublishResult::AlreadyRunning);
    destroyWindow(twin);
}

// Connects by hand and writes raw bytes; answers true if the peer then closed the connection.
bool peerClosesAfter(const std::string& path, const std::string& bytes) {
    int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un sa{};
    sa.sun_family = AF_UNIX;
    std::snprintf(sa.sun_path, sizeof sa.sun_path, "%s", path.c_str());
    if (::connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) return false;
    ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    timeval tv{3, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    char c;
    // A peer that closes with our bytes unread resets the connection instead.
    ssize_t n = ::recv(fd, &c, 1, 0);
    bool closed = n == 0 || (n < 0 && errno == ECONNRESET);
    ::close(fd);
    return closed;
}

TEST_F(LinkPeer, MalformedRecordDropsOnlyThatConnection) {
    std::string garbage = "GET / HTTP/1.0\r\n\r\n" + std::string(100, 'z');
    EXPECT_TRUE(peerClosesAfter(linkSocketPath("TESTPEER", "one"), garbage));
    link::Record r = sample();
    r.kind = link::Kind::Post;  // copy data may only travel in a send
    EXPECT_TRUE(peerClosesAfter(linkSocketPath("TESTPEER", "one"), link::encode(r)));
    HWND peer = findWindow("TESTPEER", "one");
    ASSERT_TRUE(postMessage(peer, WM_USER + 7, 1, static_cast<LPARAM>(host)));
    waitHeard(1);
    EXPECT_EQ(g_heard.wParam, 2u);  // the peer still works
}

// Connects by hand, writes raw bytes and leaves the connection open; answers the descriptor.
int writeRaw(const std::string& path, const std::string& bytes) {
    int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un sa{};
    sa.sun_family = AF_UNIX;
    std::snprintf(sa.sun_path, sizeof sa.sun_path, "%s", path.c_str());
    if (::connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) return -1;
    ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    return fd;
}

link::Record post(UINT msg, std::uint64_t wParam, std::int64_t lParam) {
    link::Record r;
    r.kind = link::Kind::Post;
    r.msg = msg;
    r.wParam = wParam;
    r.lParam = lParam;
    return r;
}

TEST_F(LinkPeer, PeersDeliverOnlyTheLinkMessageAndCopyData) {
    // Its end (WM_USER+9) and WM_DESTROY are refused, the connection stays, the peer lives on.
    std::string bytes = link::encode(post(WM_USER + 9, 0, 0)) + link::encode(post(WM_DESTROY, 0, 0));
    EXPECT_FALSE(peerClosesAfter(linkSocketPath("TESTPEER", "one"), bytes));
    HWND peer = findWindow("TESTPEER", "one");
    long long before = monotonicMs();
    EXPECT_EQ(sendMessage(peer, WM_USER + 7, 5, static_cast<LPARAM>(host)), 0);  // only posts
    EXPECT_LT(monotonicMs() - before, 2000);  // refused with an answer, not left waiting
    ASSERT_TRUE(postMessage(peer, WM_USER + 7, 9, static_cast<LPARAM>(host)));
    waitHeard(1);
    EXPECT_EQ(g_heard.count, 1);
    EXPECT_EQ(g_heard.wParam, 10u);
}

TEST_F(LinkPeer, ABareNumberFromAPeerNeverNamesOneOfOurWindows) {
    std::string path = linkSocketPath("TESTHOST", "main");
    int fd = writeRaw(path, link::encode(post(WM_USER + 8, host, 0)));
    waitHeard(1);
    EXPECT_EQ(g_heard.msg, static_cast<UINT>(WM_USER + 8));
    EXPECT_EQ(g_heard.wParam, 0u);
    int other = writeRaw(path, link::encode(post(WM_USER + 8, 5, 0)) + link::encode(post(WM_USER + 3, 0, 0)));
    waitHeard(2);
    pumpMessages(50);
    EXPECT_EQ(g_heard.count, 2);  // WM_USER+3 was not delivered
    EXPECT_EQ(g_heard.wParam, 5u);
    ::close(fd);
    ::close(other);
}

std::vector<std::string> g_reported;
void collectReport(const char* text) {
    g_reported.push_back(text);
}

TEST_F(LinkPeer, ADroppedRecordIsReportedToItsOwnWindowsReporter) {
    // Each published window names its own reporter; one without reports to standard error.
    HWND reported = createWindow("TESTHOST", "reported", 0);
    ASSERT_EQ(publishWindow(reported, "TESTHOST", "reported", WM_USER + 8, collectReport), PublishResult::Published);
    g_reported.clear();
    int quiet = writeRaw(linkSocketPath("TESTHOST", "main"), link::encode(post(WM_USER + 3, 0, 0)));
    int loud = writeRaw(linkSocketPath("TESTHOST", "reported"), link::encode(post(WM_USER + 4, 0, 0)));
    for (int i = 0; i < 200 && g_reported.empty(); ++i) pumpMessages(10);
    pumpMessages(50);
    EXPECT_EQ(g_reported, std::vector<std::string>{"post of message 1028 from a peer dropped"});
    ::close(quiet);
    ::close(loud);
    destroyWindow(reported);
}

TEST_F(LinkPeer, AnotherUserIsRefused) {
    if (::getuid() != 0) GTEST_SKIP() << "needs root to act as another user";
    // Let the other user reach the socket, so that only the listener's own check can refuse.
    std::vector<std::string> dirs;
    for (std::string d = runtimeDir(); d.size() > 5 && d != "/tmp"; d = d.substr(0, d.rfind('/'))) {
        dirs.push_back(d);
        ::chmod(d.c_str(), 0755);
    }
    std::string path = linkSocketPath("TESTHOST", "main");
    ::chmod(path.c_str(), 0666);
    link::Record r;
    r.kind = link::Kind::Post;
    r.msg = WM_USER + 8;
    std::string bytes = link::encode(r);
    pid_t child = ::fork();
    if (child == 0) {
        if (::setuid(65534) != 0) ::_exit(3);
        // Connected, refused: the connection is closed without the message being delivered.
        ::_exit(peerClosesAfter(path, bytes) ? 0 : 1);
    }
    // Serve the listener until the child has its answer.
    int status = 0;
    for (int i = 0; i < 600 && ::waitpid(child, &status, WNOHANG) == 0; ++i) pumpMessages(10);
    pumpMessages(20);
    for (const auto& d : dirs) ::chmod(d.c_str(), 0700);
    ::chmod(path.c_str(), 0600);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(g_heard.count, 0);
}

}  // namespace

TEST_F(LinkPeer, OutOfDescriptorsAWaitingConnectionIsDroppedNotSpunOn) {
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    rlimit low = saved;
    low.rlim_cur = 64;
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &low), 0);
    std::vector<int> hogs;
    int client = ::socket(AF_UNIX, SOCK_STREAM, 0);
    for (int fd; hogs.size() < 200 && (fd = ::open("/dev/null", O_RDONLY)) >= 0;) hogs.push_back(fd);
    sockaddr_un sa{};
    sa.sun_family = AF_UNIX;
    std::snprintf(sa.sun_path, sizeof sa.sun_path, "%s", linkSocketPath("TESTHOST", "main").c_str());
    ASSERT_EQ(::connect(client, reinterpret_cast<sockaddr*>(&sa), sizeof sa), 0);
    pumpMessages(100);
    // The engine side could not accept it for lack of descriptors, yet it took it off the
    // queue and closed it instead of waking again and again.
    char byte;
    timeval tv{2, 0};
    ::setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    EXPECT_EQ(::recv(client, &byte, 1, 0), 0);
    for (int fd : hogs) ::close(fd);
    ::close(client);
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &saved), 0);
    // With descriptors back, the window is reached again.
    HWND peer = findWindow("TESTPEER", "one");
    ASSERT_TRUE(postMessage(peer, WM_USER + 7, 1, static_cast<LPARAM>(host)));
    waitHeard(1);
    EXPECT_EQ(g_heard.wParam, 2u);
}
