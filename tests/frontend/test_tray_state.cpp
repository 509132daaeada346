// The tray's choice of frame, the animation, the tip, and the saved window placement.
#include "frontend/app/placement.h"
#include "frontend/mail/row_cells.h"
#include "frontend/schedule/schedule_state.h"
#include "link/engine_link.h"

#include <gtest/gtest.h>

namespace {

TEST(CyclePhase, OnlyTheThreeProgressNoticesChangeStatusAndFrame) {
    ASSERT_TRUE(cyclePhase(CYCLE_STARTED));
    EXPECT_STREQ(cyclePhase(CYCLE_STARTED)->status, "Establishing connection...");
    EXPECT_EQ(cyclePhase(CYCLE_STARTED)->firstFrame, kTrayConnecting);
    EXPECT_EQ(cyclePhase(CYCLE_SENDING)->firstFrame, kTraySending);
    EXPECT_STREQ(cyclePhase(CYCLE_CHECKING)->status, "Checking for new e-mail...");
    for (int other : {CYCLE_CONNECTED, CYCLE_DIAL_FAILED, CYCLE_NEW_ITEM, CYCLE_FINISHED, CYCLE_FAILURE,
                      NEW_OUTGOING_MAIL, MAILBOX_CHANGED, 12345})
        EXPECT_FALSE(cyclePhase(other)) << other;
}

TEST(TrayIconIndex, EveryCombinationOfTheFourFlags) {
    // Expected frame for (cycleFailed, active, blinkPhase, newMailWaiting).
    struct Row {
        int failed, active, blink, waiting, expected;
    };
    const Row rows[] = {
        {0, 1, 0, 0, kTrayActive},
        {1, 1, 0, 0, kTrayFailed},
        {0, 0, 0, 0, kTraySuspended},
        {1, 0, 0, 0, kTraySuspended},
        {0, 1, 1, 0, kTrayActive},
        {0, 1, 0, 1, kTrayActive},
        {1, 1, 1, 0, kTrayFailed},
        {1, 1, 0, 1, kTrayFailed},
        {0, 0, 1, 0, kTraySuspended},
        {0, 0, 0, 1, kTraySuspended},
        {1, 0, 1, 0, kTraySuspended},
        {1, 0, 0, 1, kTraySuspended},
        // The blink overrides everything, even the suspended and the failure icons.
        {0, 1, 1, 1, kTrayNewMail},
        {1, 1, 1, 1, kTrayNewMail},
        {0, 0, 1, 1, kTrayNewMail},
        {1, 0, 1, 1, kTrayNewMail},
    };
    for (const Row& r : rows) {
        ScheduleState s;
        s.cycleFailed = r.failed;
        s.active = r.active;
        s.blinkPhase = r.blink;
        s.newMailWaiting = r.waiting;
        EXPECT_EQ(trayIconIndex(s), r.expected)
            << "failed " << r.failed << " active " << r.active << " blink " << r.blink << " waiting " << r.waiting;
    }
}

TEST(TrayAnimation, EachPhaseLoopsOverItsOwnSixFrames) {
    for (int first : {kTrayConnecting, kTraySending, kTrayChecking}) {
        int frame = first;
        std::vector<int> seen;
        for (int i = 0; i < 13; ++i) {
            seen.push_back(frame);
            frame = nextAnimationFrame(frame);
        }
        for (int i = 0; i < 13; ++i) EXPECT_EQ(seen[static_cast<std::size_t>(i)], first + i % 6) << "phase " << first;
    }
    EXPECT_EQ(nextAnimationFrame(9), 4);
    EXPECT_EQ(nextAnimationFrame(15), 10);
    EXPECT_EQ(nextAnimationFrame(21), 16);
}

TEST(TrayTip, CutTo63BytesNeverInsideACharacter) {
    EXPECT_EQ(views::cutUtf8("Tarnwick: 14:05", kTrayTipMax), "Tarnwick: 14:05");
    std::string tip = views::cutUtf8("Tarnwick: " + std::string(100, 'x'), kTrayTipMax);
    EXPECT_EQ(tip.size(), 63u);
    EXPECT_EQ(tip.substr(0, 10), "Tarnwick: ");
    // A two-byte character that would straddle the limit is left out whole.
    tip = views::cutUtf8(std::string(62, 'a') + "\xC3\xA9", kTrayTipMax);
    EXPECT_EQ(tip.size(), 62u);
}

TEST(WindowPlacement, RoundTripsAs44LittleEndianBytes) {
    Placement p;
    p.showCmd = 2;
    p.left = 100;
    p.top = 50;
    p.right = 740;
    p.bottom = 530;
    config::WindowPlacement bytes = encodePlacement(p);
    ASSERT_EQ(bytes.size(), 44u);
    EXPECT_EQ(bytes[0], 44);
    EXPECT_EQ(bytes[1], 0);
    EXPECT_EQ(bytes[8], 2);  // show command
    EXPECT_EQ(bytes[12], 0xFF);  // minimised x: -1
    EXPECT_EQ(bytes[36], 0xE4);  // right: 740 = 0x2E4
    EXPECT_EQ(bytes[37], 0x02);
    auto back = decodePlacement(bytes);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->left, 100);
    EXPECT_EQ(back->bottom, 530);
    EXPECT_EQ(back->minX, -1);

    bytes[0] = 40;  // a wrong length field is no placement
    EXPECT_FALSE(decodePlacement(bytes));
    p.right = p.left;  // nor is an empty rectangle
    EXPECT_FALSE(decodePlacement(encodePlacement(p)));
}

}  // namespace
