// The new-mail dialog's rows, the delivery failure notice's lines and the About box, without a
// display, and the shell routing copied paths, About and the sound requests to them.
#include "frontend/dialogs/about_dialog.h"
#include "frontend/dialogs/mail_dialogs.h"
#include "frontend/app/mail_announcements.h"
#include "frontend/sound/sound_player.h"
#include "platform/event_loop.h"
#include "platform/os_version.h"
#include "config/settings.h"
#include "tests/support/temp_env.h"

#include <QApplication>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <filesystem>

namespace {

class MailAnnouncementsTest : public ::testing::Test {
protected:
    void SetUp() override {
        config::writeSetting(config::kNotifyDisDialog, 1);
        announcements = std::make_unique<MailAnnouncements>(nullptr, [this](const std::string& path) {
            ++headersRead;
            return headerSenderAndSubject(path);
        });
        QObject::connect(announcements.get(), &MailAnnouncements::readMailRequested,
                         [this] { posted.push_back("read"); });
        QObject::connect(announcements.get(), &MailAnnouncements::openWindowRequested,
                         [this] { posted.push_back("open"); });
    }
    void TearDown() override { announcements.reset(); }

    std::string item(const std::string& name, const std::string& header) {
        std::string path = testsupport::worldDir() + "/" + name;
        testsupport::writeFile(path, header + "\r\nbody\r\n");
        return path;
    }
    void click(QWidget* dialog, const char* name) {
        auto* b = dialog->findChild<QPushButton*>(QLatin1String(name));
        ASSERT_NE(b, nullptr) << name;
        b->click();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    std::unique_ptr<MailAnnouncements> announcements;
    std::vector<std::string> posted;
    int headersRead = 0;
};

TEST_F(MailAnnouncementsTest, OneDialogCollectsTheItemsNewestOnTop) {
    announcements->newItem(item("1.rfc822", "From: Ann <ann@example.net>\r\nSubject: first\r\n"));
    announcements->newItem(item("2.rfc822", "Subject: no sender\r\n"));
    announcements->newItem(item("3.rfc822", "FROM:Cy\r\n"));
    NewMailDialog* d = announcements->newMailDialog();
    ASSERT_NE(d, nullptr);
    EXPECT_TRUE(d->isVisible());
    EXPECT_EQ(d->windowTitle().toStdString(), "Tarnwick - NEW MAIL!");
    ASSERT_EQ(d->rowCount(), 3);
    EXPECT_EQ(d->row(0, 0).toStdString(), "Cy");
    EXPECT_EQ(d->row(0, 1).toStdString(), "<unknown>");
    EXPECT_EQ(d->row(1, 0).toStdString(), "<unknown>");
    EXPECT_EQ(d->row(1, 1).toStdString(), "no sender");
    EXPECT_EQ(d->row(2, 0).toStdString(), "Ann <ann@example.net>");
    // A file that cannot be read still gives a row.
    announcements->newItem(testsupport::worldDir() + "/missing.rfc822");
    EXPECT_EQ(d->row(0, 0).toStdString(), "<unknown>");
    EXPECT_EQ(d->row(0, 1).toStdString(), "<unknown>");

    // Dated items go where the mail list puts them: newest date first, undated ones below.
    announcements->newItem(item("5.rfc822", "From: Old\r\nDate: Sun, 6 Dec 2026 08:00:00 +0000\r\n"));
    announcements->newItem(item("6.rfc822", "From: New\r\nDate: Tue, 8 Dec 2026 09:30:00 +0000\r\n"));
    announcements->newItem(item("7.rfc822", "From: Mid\r\nDate: Mon, 7 Dec 2026 11:58:00 +0000\r\n"));
    ASSERT_EQ(d->rowCount(), 7);
    std::vector<std::string> senders;
    for (int i = 0; i < d->rowCount(); ++i) senders.push_back(d->row(i, 0).toStdString());
    EXPECT_EQ(senders,
              (std::vector<std::string>{"New", "Mid", "Old", "<unknown>", "Cy", "<unknown>", "Ann <ann@example.net>"}));

    // OK closes it, rows and all; the next item opens a fresh dialog.
    click(d, "ok");
    EXPECT_EQ(announcements->newMailDialog(), nullptr);
    EXPECT_TRUE(posted.empty());
    announcements->newItem(item("4.rfc822", "From: Di\r\n"));
    ASSERT_NE(announcements->newMailDialog(), nullptr);
    EXPECT_EQ(announcements->newMailDialog()->rowCount(), 1);
}

TEST_F(MailAnnouncementsTest, ReadAndDetailsAskForTheirCommandsAndClose) {
    announcements->newItem(item("1.rfc822", "From: Ann\r\n"));
    click(announcements->newMailDialog(), "read");
    EXPECT_EQ(posted, std::vector<std::string>{"read"});
    EXPECT_EQ(announcements->newMailDialog(), nullptr);
    announcements->newItem(item("2.rfc822", "From: Bo\r\n"));
    click(announcements->newMailDialog(), "details");
    EXPECT_EQ(posted, (std::vector<std::string>{"read", "open"}));
    // Esc (reject) closes it too.
    announcements->newItem(item("3.rfc822", "From: Cy\r\n"));
    announcements->newMailDialog()->reject();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(announcements->newMailDialog(), nullptr);
}

TEST_F(MailAnnouncementsTest, SwitchedOffNoDialogAndNoHeaderRead) {
    config::writeSetting(config::kNotifyDisDialog, 0);
    announcements->newItem(item("1.rfc822", "From: Ann\r\n"));
    EXPECT_EQ(announcements->newMailDialog(), nullptr);
    EXPECT_EQ(headersRead, 0);
    EXPECT_EQ(announcements->newMailDialog(), nullptr);
}

TEST_F(MailAnnouncementsTest, TheFailureNoticeShowsTheHeaderAndPath) {
    std::string path = item("20261207120000000.rfc822",
                            "Date: Mon, 7 Dec 2026 12:00:00 +0000\r\nFrom: me@home.example\r\n"
                            "To: you@example.net\r\nSubject: lunch\r\n");
    EXPECT_EQ(deliveryFailureLines(path),
              (std::vector<std::string>{"Date: Mon, 7 Dec 2026 12:00:00 +0000", "From: me@home.example",
                                        "To: you@example.net", "Subject: lunch", path}));
    // The engine's queue paths carry a doubled separator; the notice shows one.
    std::string doubled = path;
    doubled.insert(doubled.rfind('/'), "/");
    EXPECT_EQ(deliveryFailureLines(doubled)[3], "Subject: lunch");
    EXPECT_EQ(deliveryFailureLines(doubled)[4], path);
    announcements->deliveryFailure(path);
    announcements->deliveryFailure(path);  // one notice per refused item
    EXPECT_EQ(announcements->failureDialogsOpen(), 2);
    QWidget* notice = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == "deliveryFailureDialog" && w->isVisible()) notice = w;
    ASSERT_NE(notice, nullptr);
    EXPECT_EQ(notice->windowTitle().toStdString(), "Delivery Failure Notice");
    auto* list = notice->findChild<QListWidget*>(QStringLiteral("itemLines"));
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->count(), 5);
    EXPECT_EQ(list->item(3)->text().toStdString(), "Subject: lunch");
    auto* heading = notice->findChild<QLabel*>();
    ASSERT_NE(heading, nullptr);
    EXPECT_TRUE(heading->text().startsWith("Tarnwick was unable to deliver the following mail item."))
        << heading->text().toStdString();
    // Open log asks for the log and leaves the notice open.
    int logs = 0;
    QObject::connect(announcements.get(), &MailAnnouncements::openLogRequested, [&logs] { ++logs; });
    click(notice, "openLog");
    EXPECT_EQ(logs, 1);
    EXPECT_EQ(announcements->failureDialogsOpen(), 2);
    click(notice, "ok");
    EXPECT_EQ(announcements->failureDialogsOpen(), 1);
}

TEST_F(MailAnnouncementsTest, ManyRecipientsMissingValuesAndLongLines) {
    std::string to128(128, 'a'), to129(129, 'a');
    EXPECT_EQ(deliveryFailureLines(item("a.rfc822", "To: " + to128 + "\r\n"))[2], "To: " + to128);
    EXPECT_EQ(deliveryFailureLines(item("b.rfc822", "To: " + to129 + "\r\n"))[2], "To: (Multiple recipients)");
    // A folded list counts as one value.
    auto folded = deliveryFailureLines(
        item("c.rfc822", "To: " + std::string(100, 'b') + ",\r\n\t" + std::string(40, 'c') + "\r\n"));
    EXPECT_EQ(folded[2], "To: (Multiple recipients)");

    std::string missing = testsupport::worldDir() + "/gone.rfc822";
    EXPECT_EQ(deliveryFailureLines(missing),
              (std::vector<std::string>{"Date: -", "From: -", "To: -", "Subject: -", missing}));

    // A subject past the line's 259 bytes is cut, never inside a character.
    std::string subject = std::string(249, 's') + "\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9";
    std::string line = deliveryFailureLines(item("d.rfc822", "Subject: " + subject + "\r\n"))[3];
    EXPECT_EQ(line, "Subject: " + std::string(249, 's'));  // 259 bytes would end in half an é
}

TEST(AboutBox, ShowsTheOperatingSystemAndEndsWithOne) {
    AboutDialog about(nullptr);
    EXPECT_EQ(about.windowTitle().toStdString(), "About");
    auto* os = about.findChild<QLabel*>(QStringLiteral("operatingSystem"));
    ASSERT_NE(os, nullptr);
    EXPECT_EQ(os->text().toStdString(), plat::operatingSystemLine());
    EXPECT_EQ(os->text().left(6).toStdString(), "Linux ");
    EXPECT_EQ(aboutProductLine().toStdString(), "Tarnwick (" + std::to_string(sizeof(void*) * 8) + "-bit)");
    QTimer::singleShot(0, &about, [&] { about.findChild<QPushButton*>(QStringLiteral("ok"))->click(); });
    EXPECT_EQ(about.exec(), 1);
}

}  // namespace

namespace {

// The default sounds are found where the program ships them; a name with a folder only as given.
TEST(Sounds, TheShippedSoundsAreFoundBesideTheProgram) {
    std::string root = testsupport::makeTempDir("sounds-");
    std::string bin = root + "/bin";
    std::filesystem::create_directories(root + "/share/tarnwick/sounds");
    std::filesystem::create_directories(bin);
    testsupport::writeFile(root + "/share/tarnwick/sounds/alarm.wav", "RIFF");
    testsupport::writeFile(bin + "/beside.wav", "RIFF");
    EXPECT_EQ(
        findSoundFile("alarm.wav", bin),
        QFileInfo(QString::fromStdString(root + "/share/tarnwick/sounds/alarm.wav")).absoluteFilePath().toStdString());
    EXPECT_EQ(findSoundFile("beside.wav", bin), bin + "/beside.wav");
    EXPECT_EQ(findSoundFile("sounds/alarm.wav", bin), "");
    EXPECT_EQ(findSoundFile("", bin), "");
    EXPECT_EQ(findSoundFile("missing.wav", bin), "");
    // The working directory's own file comes first.
    testsupport::writeFile("alarm.wav", "RIFF");
    EXPECT_EQ(findSoundFile("alarm.wav", bin), "alarm.wav");
    std::filesystem::remove("alarm.wav");
}

// A sound that is not there is said once, however often the alarm repeats it.
TEST(Sounds, ASoundThatCannotBePlayedIsSaidOnce) {
    std::string bin = testsupport::makeTempDir("nosounds-") + "/bin";
    SoundPlayer player(bin);
    QStringList said;
    QObject::connect(&player, &SoundPlayer::cannotPlay, [&said](const QString& why) { said << why; });
    for (int i = 0; i < 3; ++i) player.playAsync("alarm.wav");
    bool ended = false;
    player.playThen("alarm.wav", [&ended] { ended = true; });
    EXPECT_TRUE(ended);
    player.playAsync("other.wav");
    ASSERT_EQ(said.size(), 2) << said.join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(said[0].toStdString(), "The sound alarm.wav cannot be played: there is no such file.");
    EXPECT_TRUE(said[1].contains(QStringLiteral("other.wav")));
}

}  // namespace
