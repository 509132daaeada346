// What an IMAP account records and how its item text is written: record entries read back
// as written (folders holding ":"), foreign or damaged entries refused; Message-IDs found in
// folded headers; the folder setting; the folders "ALL" skips; UID sets; the transfer form
// across pieces of any size.
#include "imap/imap_record.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

TEST(IMAPRecord, EntriesReadBackAsWrittenAndForeignOnesAreRefused) {
    imaprec::Entry e{"Archive:2024/a b", 3857529045u, 42, 1700000000, 12345, "<a:b@c>"};
    std::string id = imaprec::identifier(e);
    EXPECT_EQ(id.substr(0, id.find('\t')), "imap:Archive:2024/a b:3857529045:42");
    auto back = imaprec::parse(id);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->folder, e.folder);
    EXPECT_EQ(back->uidValidity, e.uidValidity);
    EXPECT_EQ(back->uid, e.uid);
    EXPECT_EQ(back->fetched, e.fetched);
    EXPECT_EQ(back->size, e.size);
    EXPECT_EQ(back->messageId, e.messageId);
    // A bare key (no details) is still an entry.
    ASSERT_TRUE(imaprec::parse("imap:INBOX:1:2"));
    for (const char* bad : {"00000001502c2c0a", "imap:INBOX:1", "imap:INBOX:x:2", "imap:INBOX:1:2\t5",
                            "imap:INBOX:1:99999999999", "imap::1:2x"})
        EXPECT_FALSE(imaprec::parse(bad)) << bad;
}

TEST(IMAPRecord, MessageIdIsFoundInAnyCaseAndFolded) {
    EXPECT_EQ(imaprec::messageId("Message-ID: <1@x>\r\n\r\n"), "<1@x>");
    EXPECT_EQ(imaprec::messageId("message-id:\r\n  <2@x>\r\n"), "<2@x>");
    EXPECT_EQ(imaprec::messageId("Subject: Message-ID: no\r\n"), "");
    EXPECT_EQ(imaprec::messageId(""), "");
}

TEST(IMAPRecord, FolderSettingAndWhatAllSkips) {
    bool all = false;
    EXPECT_EQ(imaprec::folderList(" INBOX , Lists/dev,INBOX,, ", all),
              (std::vector<std::string>{"INBOX", "Lists/dev"}));
    EXPECT_FALSE(all);
    EXPECT_EQ(imaprec::folderList("all, Extra", all), (std::vector<std::string>{"Extra"}));
    EXPECT_TRUE(all);
    // A name copied in the server's own form is the folder it names; one that is not valid
    // modified UTF-7 is taken as typed.
    EXPECT_EQ(imaprec::folderList("Entw&APw-rfe, Entwürfe, Tom & Jerry, Tom &- Jerry", all),
              (std::vector<std::string>{"Entwürfe", "Tom & Jerry"}));
    EXPECT_EQ(imaprec::utf8FolderName("Ablage &- &AMQ-lteres"), "Ablage & Älteres");
    EXPECT_EQ(imaprec::utf8FolderName("A&B"), "A&B");
    EXPECT_EQ(imaprec::utf8FolderName("Größe"), "Größe");
    EXPECT_TRUE(imaprec::skippedByAll({"\\HasNoChildren", "\\all"}, "Everything"));
    EXPECT_TRUE(imaprec::skippedByAll({"\\Trash"}, "Bin"));
    EXPECT_TRUE(imaprec::skippedByAll({"\\Junk"}, "Spam"));
    EXPECT_TRUE(imaprec::skippedByAll({"\\Noselect"}, "[Gmail]"));
    EXPECT_TRUE(imaprec::skippedByAll({}, "[Gmail]/All Mail"));
    EXPECT_FALSE(imaprec::skippedByAll({"\\Sent"}, "Sent"));
}

TEST(IMAPRecord, QuotingAndUidSets) {
    std::string q;
    EXPECT_TRUE(imaprec::quote("a \"b\\", q));
    EXPECT_EQ(q, "\"a \\\"b\\\\\"");
    EXPECT_FALSE(imaprec::quote("line\r\nA1 LOGOUT", q));
    EXPECT_FALSE(imaprec::quote("caf\xc3\xa9", q));
    EXPECT_EQ(imaprec::uidSet({1, 2, 3, 7, 9, 10}), "1:3,7,9:10");
    EXPECT_EQ(imaprec::uidSet({5}), "5");
}

namespace {

std::string written(const std::vector<std::string>& pieces) {
    std::FILE* f = std::tmpfile();
    TransferFormWriter w(f);
    for (const std::string& p : pieces) w.write(p);
    EXPECT_TRUE(w.finish());
    std::rewind(f);
    std::string out;
    char buf[256];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) out.append(buf, n);
    std::fclose(f);
    return out;
}

}  // namespace

TEST(IMAPRecord, TextIsWrittenInTransferFormWhateverThePieces) {
    const std::string message = ".first\r\nb\r\n..two\r\n.\r\nx.y\n.lf only\r\nend";
    const std::string expected = "..first\r\nb\r\n...two\r\n..\r\nx.y\n.lf only\r\nend\r\n";
    EXPECT_EQ(written({message}), expected);
    std::vector<std::string> bytes;
    for (char c : message) bytes.emplace_back(1, c);
    EXPECT_EQ(written(bytes), expected);
    EXPECT_EQ(written({"a\r\n"}), "a\r\n");
    EXPECT_EQ(written({"a\r", "\n"}), "a\r\n");
    EXPECT_EQ(written({}), "");
}
