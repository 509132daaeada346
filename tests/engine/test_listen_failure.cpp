// What a user reads when a local server cannot listen: the port, the reason in words and what
// to do about it.
#include "engine/listen_failure.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace {

TEST(ListenFailureTest, EachReasonSaysWhatToDo) {
    EXPECT_EQ(listenFailureText("SMTP", 25, EADDRINUSE, "TRAWLEX_SMTP_PORT"),
              "SMTP server cannot listen on 127.0.0.1:25: address already in use (another mail server?); "
              "set TRAWLEX_SMTP_PORT or stop it");
    EXPECT_EQ(listenFailureText("POP3", 110, EACCES, "TRAWLEX_POP3_PORT"),
              "POP3 server cannot listen on 127.0.0.1:110: permission denied: run setcap as the README says");
    // Anything else: the system's own words.
    EXPECT_EQ(listenFailureText("POP3", 2110, EADDRNOTAVAIL, "TRAWLEX_POP3_PORT"),
              "POP3 server cannot listen on 127.0.0.1:2110: Cannot assign requested address");
}

}  // namespace
