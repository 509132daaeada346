// The catalogue of the user's language: found by the locale's name, none for English, and a
// missing or damaged one leaves the English texts.
#include "frontend/app/translation.h"
#include "tests/support/temp_env.h"

#include <QCoreApplication>
#include <QTranslator>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace {

void putWord(std::string& out, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>((v >> shift) & 0xFF);
}

// The hash a catalogue files its messages under (the source text, an empty comment).
std::uint32_t messageHash(const std::string& text) {
    std::uint32_t h = 0;
    for (unsigned char c : text) {
        h = (h << 4) + c;
        std::uint32_t g = h & 0xF0000000u;
        if (g) h ^= g >> 24;
        h &= ~g;
    }
    return h ? h : 1;
}

// A catalogue in Qt's binary format with one message: context, English text, its translation
// (Latin-1 here).
std::string catalogue(const std::string& context, const std::string& source, const std::string& translated) {
    std::string message;
    message += '\x03';  // the translation, in UTF-16
    putWord(message, static_cast<std::uint32_t>(translated.size() * 2));
    for (char c : translated) {
        message += '\0';
        message += c;
    }
    message += '\x06';  // the source text
    putWord(message, static_cast<std::uint32_t>(source.size()));
    message += source;
    message += '\x07';  // the context
    putWord(message, static_cast<std::uint32_t>(context.size()));
    message += context;
    message += '\x01';  // end of the message
    std::string file("\x3c\xb8\x64\x18\xca\xef\x9c\x95\xcd\x21\x1c\xbf\x60\xa1\xbd\xdd", 16);
    file += '\x42';  // the hash table: one entry, at offset 0
    putWord(file, 8);
    putWord(file, messageHash(source));
    putWord(file, 0);
    file += '\x69';  // the messages
    putWord(file, static_cast<std::uint32_t>(message.size()));
    return file + message;
}

class TranslationTest : public ::testing::Test {
protected:
    void TearDown() override {
        for (QTranslator* t : qApp->findChildren<QTranslator*>()) {
            QCoreApplication::removeTranslator(t);
            delete t;
        }
    }
    QString dir = QString::fromStdString(testsupport::worldDir());
};

TEST_F(TranslationTest, TheLanguagesCatalogueIsInstalledWhenPresent) {
    testsupport::writeFile(testsupport::worldDir() + "/tarnwick_de.qm", catalogue("Tarnwick", "None", "Keine"));
    EXPECT_EQ(QCoreApplication::translate("Tarnwick", "None"), "None");
    EXPECT_TRUE(installTranslation(*qApp, QLocale(QLocale::German, QLocale::Austria), dir));
    EXPECT_EQ(QCoreApplication::translate("Tarnwick", "None"), "Keine");
}

TEST_F(TranslationTest, EnglishAMissingCatalogueAndADamagedOneInstallNothing) {
    testsupport::writeFile(testsupport::worldDir() + "/tarnwick_en.qm", catalogue("Tarnwick", "None", "Nix"));
    EXPECT_FALSE(installTranslation(*qApp, QLocale(QLocale::English, QLocale::UnitedKingdom), dir));
    EXPECT_FALSE(installTranslation(*qApp, QLocale(QLocale::French, QLocale::France), dir));
    testsupport::writeFile(testsupport::worldDir() + "/tarnwick_it.qm", "not a catalogue");
    EXPECT_FALSE(installTranslation(*qApp, QLocale(QLocale::Italian, QLocale::Italy), dir));
    EXPECT_TRUE(qApp->findChildren<QTranslator*>().empty());
}

}  // namespace
