// What the list, the new-mail dialog and the failure notice show of an item's header: encoded
// words decoded (the file itself unchanged), and no sender forged through a long line.
#include "frontend/dialogs/mail_dialogs.h"
#include "frontend/app/mail_announcements.h"
#include "frontend/mail/header_cache.h"
#include "tests/support/temp_env.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string item(const std::string& name, const std::string& text) {
    const std::string path = testsupport::worldDir() + "/" + name;
    testsupport::writeFile(path, text);
    return path;
}

TEST(ShownHeaders, EncodedWordsAreDecodedWhereverAHeaderIsShown) {
    const std::string text =
        "Date: Mon, 7 Dec 2026 10:00:00 +0000\r\n"
        "From: =?UTF-8?Q?J=C3=BCrgen?= <j@example.de>\r\n"
        "To: =?ISO-8859-1?Q?Andr=E9?= <a@example.fr>\r\n"
        "Subject: =?UTF-8?B?R3LDvMOfZQ==?=\r\n =?UTF-8?Q?_aus_K=C3=B6ln?=\r\n"
        "\r\n"
        "body\r\n";
    const std::string path = item("encoded.rfc822", text);

    const views::HeaderCells cells = views::readHeaderCells(path);
    EXPECT_EQ(cells.from, "J\u00fcrgen <j@example.de>");
    EXPECT_EQ(cells.to, "Andr\u00e9 <a@example.fr>");
    EXPECT_EQ(cells.subject, "Gr\u00fc\u00dfe aus K\u00f6ln");

    const auto [from, subject] = headerSenderAndSubject(path);
    EXPECT_EQ(from, "J\u00fcrgen <j@example.de>");
    EXPECT_EQ(subject, "Gr\u00fc\u00dfe aus K\u00f6ln");

    const std::vector<std::string> lines = deliveryFailureLines(path, "552 =?UTF-8?Q?as_sent?=\r\n");
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[1], "From: J\u00fcrgen <j@example.de>");
    EXPECT_EQ(lines[2], "To: Andr\u00e9 <a@example.fr>");
    EXPECT_EQ(lines[3], "Subject: Gr\u00fc\u00dfe aus K\u00f6ln");
    EXPECT_EQ(lines[5], "Reply: 552 =?UTF-8?Q?as_sent?=");  // the provider's words as it wrote them

    EXPECT_EQ(testsupport::readFile(path), text);  // the stored item stays as it came
}

TEST(ShownHeaders, ASubjectPaddedTo2047CharactersForgesNoSender) {
    const std::string path = item("forged.rfc822", "Subject: " + std::string(2047 - 9, 'x') +
                                                       "From: forged@evil.example\r\n"
                                                       "From: Ann <ann@example.net>\r\n"
                                                       "To: bob@example.net\r\n\r\nbody\r\n");
    EXPECT_EQ(views::readHeaderCells(path).from, "Ann <ann@example.net>");
    EXPECT_EQ(headerSenderAndSubject(path).first, "Ann <ann@example.net>");
    EXPECT_EQ(deliveryFailureLines(path)[1], "From: Ann <ann@example.net>");
}

}  // namespace
