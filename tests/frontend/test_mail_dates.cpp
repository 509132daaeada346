// Dates as the mail list reads, shows and sorts them, and the stored column layout.
#include "frontend/mail/column_layout.h"
#include "frontend/mail/mail_dates.h"

#include <QDateTime>

#include <gtest/gtest.h>

namespace {

using namespace views;

TEST(MailDates, ReadsTheUsualFormsAndRefusesTheRest) {
    const std::int64_t utc1998 = 912935133;  // 1998-12-06 09:05:33 UTC
    struct Case {
        const char* text;
        std::optional<std::int64_t> when;
    };
    const Case cases[] = {
        {"Sun, 06 Dec 1998 10:05:33 +0100", utc1998},
        {"06 Dec 1998 10:05:33 +0100", utc1998},
        {"6 dec 98 09:05:33 GMT", utc1998},
        {"Sunday, 6 December 1998 04:05:33 EST", utc1998},
        {"06 Dec 1998 01:35:33 -0730 (somewhere)", utc1998},
        {"06 Dec 1998 09:05:33 XYZ", utc1998},  // an unknown zone is read as UTC
        {"06 Dec 1998 09:05:33", utc1998},
        {"06 Dec 1998 09:05", utc1998 - 33},
        {"1 Jan 05 00:00 +0000", 1104537600},  // 2005
        {"31 Feb 2001 10:00 +0000", std::nullopt},
        {"06 Dez 1998 10:05 +0100", std::nullopt},  // not an English month
        {"06 Dec 1998 24:00", std::nullopt},
        {"06 Dec 1998 10", std::nullopt},
        {"Sun, 06 Dec 1998", std::nullopt},
        {"99999999999 Dec 1998 10:05", std::nullopt},
        {"-6 Dec 1998 10:05", std::nullopt},
        {"", std::nullopt},
        {"garbage", std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(parseMailDate(c.text), c.when) << c.text;
}

TEST(MailDates, TheYearOnlyWhenNotThisYearsAndNeverSeconds) {
    EXPECT_EQ(dayAndMonthFormat(QLocale(QLocale::English, QLocale::UnitedStates)), "M/d");
    EXPECT_EQ(dayAndMonthFormat(QLocale(QLocale::German, QLocale::Germany)), "dd.MM");
    EXPECT_EQ(dayAndMonthFormat(QLocale(QLocale::Swedish, QLocale::Sweden)), "MM-dd");
    EXPECT_FALSE(dayAndMonthFormat(QLocale::c()).contains(QLatin1Char('y')));

    QLocale german(QLocale::German, QLocale::Germany);
    QDateTime when(QDate(2026, 3, 4), QTime(7, 8, 9));  // local time
    std::int64_t at = when.toSecsSinceEpoch();
    std::int64_t sameYear = QDateTime(QDate(2026, 12, 8), QTime(10, 0)).toSecsSinceEpoch();
    std::int64_t nextYear = QDateTime(QDate(2027, 1, 2), QTime(10, 0)).toSecsSinceEpoch();
    EXPECT_EQ(listDateText(at, sameYear, german).toStdString(), "04.03 07:08");
    EXPECT_EQ(listDateText(at, nextYear, german).toStdString(), "04.03.26 07:08");
    QString c = listDateText(at, sameYear, QLocale::c());
    EXPECT_TRUE(c.endsWith(QStringLiteral("07:08"))) << c.toStdString();
    EXPECT_FALSE(c.contains(QStringLiteral("2026"))) << c.toStdString();
}

TEST(ColumnLayout, StoredAndReadBackOrRefusedWhenDamaged) {
    ColumnLayout layout;
    layout.widths = {90, 0, 211, 0, 120, 60, 77};
    layout.positions = {1, 2, 3, 4, 5, 6, 0};
    layout.sortColumn = 3;
    layout.descending = false;
    std::optional<ColumnLayout> back = decodeColumnLayout(encodeColumnLayout(layout));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->widths, layout.widths);
    EXPECT_EQ(back->positions, layout.positions);
    EXPECT_EQ(back->sortColumn, 3);
    EXPECT_FALSE(back->descending);

    ColumnLayout twice = layout;
    twice.positions = {0, 0, 1, 2, 3, 4, 5};  // no order of the columns
    EXPECT_FALSE(decodeColumnLayout(encodeColumnLayout(twice)));
    ColumnLayout badSort = layout;
    badSort.sortColumn = 7;
    EXPECT_FALSE(decodeColumnLayout(encodeColumnLayout(badSort)));
    ColumnLayout negative = layout;
    negative.widths[0] = -5;
    EXPECT_FALSE(decodeColumnLayout(encodeColumnLayout(negative)));
}

}  // namespace
