// The text hive: values of every type through the file, names without regard to case, buffer
// rules, escaping, other writers, unparsable and unreadable files, two writers at once; the
// parser and writer of the hive text on their own.
#include "platform/hive_text.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "tests/support/temp_env.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using namespace plat;
using testsupport::readFile;
using testsupport::writeFile;

namespace {

class Registry : public ::testing::Test {
protected:
    void SetUp() override {
        for (const auto& e : fs::directory_iterator(configDir())) fs::remove_all(e.path());
    }

    static RegKey key(const std::string& path, KeyAccess access = KeyAccess::Create) {
        RegKey k;
        EXPECT_EQ(regOpenKey(Hive::CurrentUser, path, access, k), RegStatus::Ok) << path;
        return k;
    }

    static std::string str(const RegKey& k, const std::string& name) {
        char buf[4096];
        return regQueryString(k, name, buf, sizeof buf) == RegStatus::Ok ? buf : "<unreadable>";
    }

    // Another program replaces the hive with text, the way our writers do: a new file renamed in.
    static void replaceHive(const std::string& text) {
        writeFile(userHivePath() + ".other", text);
        fs::rename(userHivePath() + ".other", userHivePath());
    }
};

TEST_F(Registry, EveryTypeRoundTripsThroughTheFile) {
    RegKey k = key("SOFTWARE\\Orrindale Systems\\Tarnwick");
    std::vector<std::uint8_t> placement(44);
    for (int i = 0; i < 44; ++i) placement[i] = static_cast<std::uint8_t>(i * 37);
    ASSERT_EQ(regSetString(k, "outhostname", "mail.example.net"), RegStatus::Ok);
    ASSERT_EQ(regSetDword(k, "outhostport", 25), RegStatus::Ok);
    ASSERT_EQ(regSetDword(k, "max", 0xffffffffu), RegStatus::Ok);
    ASSERT_EQ(regSetBinary(k, "Placement", placement.data(), placement.size()), RegStatus::Ok);
    ASSERT_EQ(regSetBinary(k, "empty", nullptr, 0), RegStatus::Ok);
    ASSERT_EQ(regSetString(k, "", "default"), RegStatus::Ok);

    std::string text = readFile(userHivePath());
    EXPECT_EQ(text.rfind("REGEDIT4\n\n[HKEY_CURRENT_USER\\SOFTWARE\\Orrindale Systems\\Tarnwick]\n", 0), 0u);
    EXPECT_NE(text.find("\"outhostport\"=dword:00000019\n"), std::string::npos);
    EXPECT_NE(text.find("@=\"default\"\n"), std::string::npos);
    replaceHive(text);  // what comes back below is what the parser made of the file

    EXPECT_EQ(str(k, "outhostname"), "mail.example.net");
    EXPECT_EQ(str(k, ""), "default");
    std::uint32_t d = 0;
    ASSERT_EQ(regQueryDword(k, "outhostport", d), RegStatus::Ok);
    EXPECT_EQ(d, 25u);
    ASSERT_EQ(regQueryDword(k, "max", d), RegStatus::Ok);
    EXPECT_EQ(d, 0xffffffffu);
    std::vector<std::uint8_t> got(44);
    std::size_t size = 0;
    ASSERT_EQ(regQueryBinary(k, "Placement", got.data(), got.size(), size), RegStatus::Ok);
    EXPECT_EQ(size, 44u);
    EXPECT_EQ(got, placement);
    ASSERT_EQ(regQueryBinary(k, "empty", got.data(), got.size(), size), RegStatus::Ok);
    EXPECT_EQ(size, 0u);

    RegType type{};
    ASSERT_EQ(regQueryInfo(k, "outhostname", type, size), RegStatus::Ok);
    EXPECT_EQ(type, RegType::String);
    EXPECT_EQ(size, 17u);
    EXPECT_EQ(regQueryDword(k, "outhostname", d), RegStatus::WrongType);
    EXPECT_EQ(regQueryDword(k, "absent", d), RegStatus::NotFound);
}

TEST_F(Registry, NamesIgnoreCaseKeepTheirFirstSpellingAndEnumerateInUpperCaseOrder) {
    for (const char* n : {"beta", "Alpha", "_x", "gamma", "Zed"}) key(std::string("Software\\Test\\") + n);
    key("SOFTWARE\\TEST\\ALPHA");  // opens the existing key

    RegKey parent = key("software\\test", KeyAccess::Read);
    std::uint32_t count = 0;
    ASSERT_EQ(regCountSubKeys(parent, count), RegStatus::Ok);
    EXPECT_EQ(count, 5u);
    std::vector<std::string> names;
    char buf[200];
    for (std::uint32_t i = 0; regEnumSubKey(parent, i, buf, sizeof buf) == RegStatus::Ok; ++i) names.push_back(buf);
    EXPECT_EQ(names, (std::vector<std::string>{"Alpha", "beta", "gamma", "Zed", "_x"}));
    EXPECT_EQ(regEnumSubKey(parent, 5, buf, sizeof buf), RegStatus::NotFound);

    RegKey k = key("software\\TEST\\alpha");
    ASSERT_EQ(regSetDword(k, "MyValue", 1), RegStatus::Ok);
    ASSERT_EQ(regSetDword(k, "MYVALUE", 2), RegStatus::Ok);
    std::uint32_t d = 0;
    ASSERT_EQ(regQueryDword(k, "myvalue", d), RegStatus::Ok);
    EXPECT_EQ(d, 2u);
    std::string text = readFile(userHivePath());
    EXPECT_NE(text.find("[HKEY_CURRENT_USER\\Software\\Test\\Alpha]\n\"MyValue\"=dword:00000002\n\n"),
              std::string::npos);
}

TEST_F(Registry, AValueThatDoesNotFitItsBufferIsMoreData) {
    RegKey k = key("Software\\Fit");
    key("Software\\Fit\\Alpha");
    ASSERT_EQ(regSetString(k, "s", "abcdefghi"), RegStatus::Ok);
    char buf[16] = "x";
    EXPECT_EQ(regQueryString(k, "s", buf, 10), RegStatus::Ok);
    EXPECT_EQ(regQueryString(k, "s", buf, 9), RegStatus::MoreData);  // no room for the NUL
    EXPECT_EQ(buf[0], '\0');
    const std::uint8_t five[5] = {1, 2, 3, 4, 5};
    ASSERT_EQ(regSetBinary(k, "b", five, 5), RegStatus::Ok);
    std::size_t size = 0;
    EXPECT_EQ(regQueryBinary(k, "b", buf, 4, size), RegStatus::MoreData);
    EXPECT_EQ(size, 5u);
    EXPECT_EQ(regEnumSubKey(k, 0, buf, 5), RegStatus::MoreData);
    EXPECT_EQ(regEnumSubKey(k, 0, buf, 6), RegStatus::Ok);
}

TEST_F(Registry, EscapedNamesAndStringsRoundTrip) {
    const std::string keyName = "Software\\say \"hi\" [there]";
    const std::vector<std::pair<std::string, std::string>> values = {{"a\\b\"c", "C:\\dir\\\"q\"\\\\"},
                                                                     {"lines", "one\r\ntwo\n"},
                                                                     {"utf8",
                                                                      "Gr\xC3\xBC\xC3\x9F"
                                                                      "e"},
                                                                     {"", "\""}};
    RegKey k = key(keyName);
    for (const auto& [name, data] : values) ASSERT_EQ(regSetString(k, name, data), RegStatus::Ok) << name;
    std::string text = readFile(userHivePath());
    EXPECT_NE(text.find("[HKEY_CURRENT_USER\\Software\\say \"hi\" [there]]\n"), std::string::npos);
    EXPECT_NE(text.find("\"a\\\\b\\\"c\"=\"C:\\\\dir\\\\\\\"q\\\"\\\\\\\\\"\n"), std::string::npos);
    EXPECT_NE(text.find("\"lines\"=hex(1):6f,6e,65,0d,0a,74,77,6f,0a,00\n"), std::string::npos);
    replaceHive(text);
    for (const auto& [name, data] : values) EXPECT_EQ(str(k, name), data) << name;
}

TEST_F(Registry, HandWrittenExportsAreReadAndUnknownTypesSurviveAWrite) {
    replaceHive(
        "\xEF\xBB\xBFREGEDIT4\r\n\r\n; written by hand\r\n[hkey_current_user\\Software\\Hand]\r\n"
        "@=\"d\"\r\n\"n\" = dword:1F\r\n\"b\"=hex:01,02,\\\r\n  03\r\n\"x\"=hex(2):41,00\r\n");
    RegKey k = key("Software\\Hand");
    EXPECT_EQ(str(k, ""), "d");
    std::uint32_t d = 0;
    ASSERT_EQ(regQueryDword(k, "n", d), RegStatus::Ok);
    EXPECT_EQ(d, 31u);
    std::uint8_t b[4] = {};
    std::size_t size = 0;
    ASSERT_EQ(regQueryBinary(k, "b", b, sizeof b, size), RegStatus::Ok);
    EXPECT_EQ(size, 3u);
    EXPECT_EQ(b[2], 3);
    ASSERT_EQ(regSetDword(k, "n", 32), RegStatus::Ok);
    EXPECT_NE(readFile(userHivePath()).find("\"x\"=hex(2):41,00\n"), std::string::npos);
}

TEST_F(Registry, AnotherWritersChangeIsSeenAtTheNextRead) {
    RegKey k = key("Software\\Shared");
    ASSERT_EQ(regSetDword(k, "v", 1), RegStatus::Ok);
    pid_t child = fork();
    if (child == 0) _exit(regSetDword(k, "v", 2) == RegStatus::Ok ? 0 : 1);
    int status = -1;
    waitpid(child, &status, 0);
    ASSERT_EQ(status, 0);
    std::uint32_t d = 0;
    ASSERT_EQ(regQueryDword(k, "v", d), RegStatus::Ok);
    EXPECT_EQ(d, 2u);

    replaceHive("REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Shared]\n\"v\"=dword:00000003\n");
    ASSERT_EQ(regQueryDword(k, "v", d), RegStatus::Ok);
    EXPECT_EQ(d, 3u);
}

TEST_F(Registry, AnUnparsableFileStaysInPlaceWithACopyAsideAndIsNeverWritten) {
    const std::string head = "REGEDIT4\n\n[HKEY_CURRENT_USER\\A]\n";
    std::string deep = "REGEDIT4\n\n[HKEY_CURRENT_USER";
    for (int i = 0; i < 600; ++i) deep += "\\k";
    const std::vector<std::string> bad = {"garbage\n",
                                          head + "\"v\"=\"open\n",
                                          head + "\"v\"=\"a\\qb\"\n",
                                          head + "\"v\"=hex:1,0g\n",
                                          head + "\"v\"=hex:123\n",
                                          head + "\"v\"=dword:123456789\n",
                                          "REGEDIT4\n\n\"v\"=\"x\"\n",
                                          "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\A]\n",
                                          head + "\"v\"=hex:01,\\\n",
                                          head + "\"v\"=-\n",
                                          "REGEDIT4\n\n[-HKEY_CURRENT_USER\\A]\n",
                                          "REGEDIT4\n\n[HKEY_CURRENT_USER\\A\\\\B]\n",
                                          head + "\"v\"=" + std::string(2 << 20, 'x') + "\n",
                                          deep + "]\n"};
    for (const std::string& text : bad) {
        SCOPED_TRACE(text.substr(0, 60));
        SetUp();
        writeFile(userHivePath(), text);
        RegKey k;
        EXPECT_EQ(regOpenKey(Hive::CurrentUser, "A", KeyAccess::Read, k), RegStatus::NotFound);
        EXPECT_EQ(readFile(userHivePath()), text);
        EXPECT_EQ(readFile(userHivePath() + ".bad"), text);
        EXPECT_NE(lastHiveProblem().find("user.reg.bad"), std::string::npos);
        EXPECT_EQ(regOpenKey(Hive::CurrentUser, "A", KeyAccess::Create, k), RegStatus::Unparsable);
        EXPECT_EQ(readFile(userHivePath()), text);
    }
    // Other unparsable contents get a copy of their own; the same contents share one.
    writeFile(userHivePath(), "second bad file\n");
    RegKey k;
    EXPECT_EQ(regOpenKey(Hive::CurrentUser, "A", KeyAccess::Read, k), RegStatus::NotFound);
    writeFile(userHivePath(), bad.back());  // what user.reg.bad already holds
    EXPECT_EQ(regOpenKey(Hive::CurrentUser, "A", KeyAccess::Read, k), RegStatus::NotFound);
    EXPECT_EQ(readFile(userHivePath() + ".bad.1"), "second bad file\n");
    EXPECT_FALSE(fs::exists(userHivePath() + ".bad.2"));
}

TEST_F(Registry, AFileAnEditorIsStillWritingServesTheLastGoodContentsUntilItIsFinished) {
    RegKey k = key("SOFTWARE\\Tarnwick");
    ASSERT_EQ(regSetString(k, "outhostname", "old.example.net"), RegStatus::Ok);
    // The editor truncates the file and writes it in place, in two goes.
    const std::string finished =
        "REGEDIT4\n\n[HKEY_CURRENT_USER\\SOFTWARE\\Tarnwick]\n\"outhostname\"=\"new.example.net\"\n";
    writeFile(userHivePath(), finished.substr(0, finished.size() - 12));
    EXPECT_EQ(str(k, "outhostname"), "old.example.net");
    EXPECT_EQ(regSetDword(k, "outhostport", 25), RegStatus::Unparsable);
    EXPECT_EQ(regDeleteValue(k, "outhostname"), RegStatus::Unparsable);
    EXPECT_EQ(str(k, "outhostname"), "old.example.net");
    {
        std::FILE* f = std::fopen(userHivePath().c_str(), "ab");  // the rest, into the same file
        std::fputs(finished.substr(finished.size() - 12).c_str(), f);
        std::fclose(f);
    }
    EXPECT_EQ(readFile(userHivePath()), finished);
    EXPECT_EQ(str(k, "outhostname"), "new.example.net");
    ASSERT_EQ(regSetDword(k, "outhostport", 25), RegStatus::Ok);
    std::uint32_t port = 0;
    EXPECT_EQ(regQueryDword(k, "outhostport", port), RegStatus::Ok);
    EXPECT_EQ(port, 25u);
    EXPECT_NE(readFile(userHivePath()).find("new.example.net"), std::string::npos);
}

TEST_F(Registry, AFileThatCannotBeReadIsNeitherMovedNorReplaced) {
    fs::create_directory(userHivePath());
    RegKey k;
    EXPECT_EQ(regOpenKey(Hive::CurrentUser, "A", KeyAccess::Read, k), RegStatus::NotFound);
    EXPECT_EQ(regOpenKey(Hive::CurrentUser, "A", KeyAccess::Create, k), RegStatus::IoError);
    EXPECT_TRUE(fs::is_directory(userHivePath()));
    EXPECT_FALSE(fs::exists(userHivePath() + ".bad"));
}

TEST_F(Registry, TwoProcessesWritingAtOnceLoseNoValue) {
    constexpr int kWrites = 200;
    pid_t children[2];
    for (int c = 0; c < 2; ++c) {
        if ((children[c] = fork()) == 0) {
            int failures = 0;
            for (int i = 0; i < kWrites; ++i) {
                RegKey k;
                failures += regOpenKey(Hive::CurrentUser, "Software\\Race", KeyAccess::Create, k) != RegStatus::Ok;
                failures += regSetDword(k, "p" + std::to_string(c) + "_" + std::to_string(i), i) != RegStatus::Ok;
            }
            _exit(failures ? 1 : 0);
        }
    }
    for (pid_t child : children) {
        int status = -1;
        waitpid(child, &status, 0);
        EXPECT_EQ(status, 0);
    }
    RegKey k = key("Software\\Race", KeyAccess::Read);
    int found = 0;
    for (int c = 0; c < 2; ++c) {
        for (int i = 0; i < kWrites; ++i) {
            std::uint32_t d = 0;
            found += regQueryDword(k, "p" + std::to_string(c) + "_" + std::to_string(i), d) == RegStatus::Ok &&
                     d == static_cast<std::uint32_t>(i);
        }
    }
    EXPECT_EQ(found, 2 * kWrites);
}

TEST_F(Registry, VanishedKeysReadOnlyHandlesBadNamesAndTheMachineHive) {
    RegKey k;
    EXPECT_EQ(regOpenKey(Hive::CurrentUser, "Software\\Gone", KeyAccess::Read, k), RegStatus::NotFound);  // no file
    k = key("Software\\Gone");
    ASSERT_EQ(regDeleteTree(key("Software"), "gone"), RegStatus::Ok);
    EXPECT_EQ(regSetDword(k, "v", 1), RegStatus::NotFound);
    EXPECT_EQ(regOpenKey(Hive::CurrentUser, "Software\\Gone", KeyAccess::Read, k), RegStatus::NotFound);
    EXPECT_EQ(regSetDword(key("Software", KeyAccess::Read), "v", 1), RegStatus::AccessDenied);
    EXPECT_EQ(regSetDword(key("Software"), "two\nlines", 1), RegStatus::InvalidName);
    EXPECT_EQ(regOpenKey(Hive::CurrentUser, "Software\\a\rb", KeyAccess::Create, k), RegStatus::InvalidName);
    EXPECT_EQ(regDeleteTree(key("Software"), ""), RegStatus::InvalidName);

    const std::string machine = testsupport::makeTempDir("machine-") + "/machine.reg";
    ::setenv("TARNWICK_MACHINE_REG", machine.c_str(), 1);
    writeFile(machine, "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Clients\\Mail]\n@=\"Mailer\"\n");
    ASSERT_EQ(regOpenKey(Hive::LocalMachine, "software\\clients\\mail", KeyAccess::Read, k), RegStatus::Ok);
    EXPECT_EQ(str(k, ""), "Mailer");
    EXPECT_EQ(regOpenKey(Hive::LocalMachine, "SOFTWARE\\Clients\\Mail", KeyAccess::Write, k), RegStatus::AccessDenied);
    fs::remove(machine);
    writeFile(machine, "not a hive\n");
    EXPECT_EQ(regOpenKey(Hive::LocalMachine, "SOFTWARE\\Clients\\Mail", KeyAccess::Read, k), RegStatus::NotFound);
    EXPECT_EQ(readFile(machine), "not a hive\n");  // not ours to move
    ::unsetenv("TARNWICK_MACHINE_REG");
}

// ---------------------------------------------------------------- the hive text on its own

namespace hv = plat::hive;

const hv::Value* lookUp(const hv::Node& tree, const std::string& path, const std::string& name) {
    std::vector<std::string> parts;
    if (!hv::splitPath(path, parts)) return nullptr;
    hv::Node* n = hv::findPath(tree, parts);
    return n ? n->value(name) : nullptr;
}

TEST(HiveText, EachWellFormedFormReadsToItsValue) {
    struct Case {
        std::string text;
        std::string key, name;
        std::uint32_t type;
        std::string data;
    };
    const std::string head = "REGEDIT4\n[HKEY_CURRENT_USER\\K]\n";
    const std::vector<Case> cases = {
        {"\xEF\xBB\xBFREGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\K]\r\n\"s\"=\"v\"\r\n", "K", "s", hv::kString, "v"},
        {"; a comment before the header\n  REGEDIT4  \n[hkey_current_user\\K]\n\t\"s\" =  \"v\" \n", "K", "s",
         hv::kString, "v"},
        {head + "@=\"default\"\n", "K", "", hv::kString, "default"},
        {head + "\"q\\\"\\\\\"=\"a\\\\b\\\"\"\n", "K", "q\"\\", hv::kString, "a\\b\""},
        {head + "\"d\"=DWORD:1F\n", "K", "d", hv::kDword, std::string("\x1f\0\0\0", 4)},
        {head + "\"d\"=dword:fedcba98\n", "K", "d", hv::kDword, "\x98\xba\xdc\xfe"},
        {head + "\"b\"=hex:1,ab , 0\n", "K", "b", hv::kBinary, std::string("\x01\xab\0", 3)},
        {head + "\"b\"=hex:\n", "K", "b", hv::kBinary, ""},
        {head + "\"b\"=hex:01,\\\n   02,\\\n\t03\n", "K", "b", hv::kBinary, "\x01\x02\x03"},
        {head + "\"s\"=hex(1):61,00,62\n", "K", "s", hv::kString, "a"},
        {head + "\"x\"=hex(7):41,00,00\n", "K", "x", 7, std::string("A\0\0", 3)},
        {head + "\"v\"=\"old\"\n[HKEY_CURRENT_USER\\k]\n\"V\"=\"new\"\n", "K", "v", hv::kString, "new"},
        {"REGEDIT4\n[HKEY_CURRENT_USER]\n\"top\"=dword:2\n", "", "top", hv::kDword, std::string("\x02\0\0\0", 4)},
        {"REGEDIT4\n[HKEY_CURRENT_USER\\A\\B c\\D]\n\"s\"=\"\"\n", "a\\b C\\d", "s", hv::kString, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        hv::Node tree;
        std::string error;
        ASSERT_TRUE(hv::parseHive(c.text, "HKEY_CURRENT_USER", tree, error)) << error;
        const hv::Value* v = lookUp(tree, c.key, c.name);
        ASSERT_NE(v, nullptr);
        EXPECT_EQ(v->type, c.type);
        EXPECT_EQ(v->data, c.data);
    }
}

TEST(HiveText, MalformedTextIsRejectedNamingItsLine) {
    const std::string head = "REGEDIT4\n\n[HKEY_CURRENT_USER\\A]\n";  // a value below is on line 4
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"", ""},  // an empty file is an empty hive, not an error
        {"[HKEY_CURRENT_USER\\A]\n", "line 1: not a registry file"},
        {"REGEDIT5\n", "line 1: not a registry file"},
        {"REGEDIT4\n\"v\"=\"x\"\n", "line 2: a value before the first [key] line"},
        {"REGEDIT4\nv=x\n", "line 2: a line that is neither"},
        {"REGEDIT4\n[HKEY_CURRENT_USER\\A\n", "line 2: a [key] line without its ']'"},
        {"REGEDIT4\n[-HKEY_CURRENT_USER\\A]\n", "line 2: key deletion"},
        {"REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n", "line 2: a key outside HKEY_CURRENT_USER"},
        {"REGEDIT4\n[HKEY_CURRENT_USERX\\A]\n", "line 2: a key outside HKEY_CURRENT_USER"},
        {"REGEDIT4\n[HKEY_CURRENT_USER\\]\n", "line 2: an empty key name"},
        {"REGEDIT4\n[HKEY_CURRENT_USER\\A\\]\n", "line 2: an empty key name"},
        {"REGEDIT4\n[HKEY_CURRENT_USER\\A\\\\B]\n", "line 2: an empty key name"},
        {head + "\"v\"=\"open\n", "line 4: a string without its closing quote"},
        {head + "\"v\"=\"a\\qb\"\n", "line 4: a backslash that escapes neither"},
        {head + "\"v\"=\"a\" \"b\"\n", "line 4: text after a string value"},
        {head + "\"v\" \"x\"\n", "line 4: a value name without '='"},
        {head + "\"v\"=dword:\n", "line 4: a dword that is not 1 to 8 hex digits"},
        {head + "\"v\"=dword:123456789\n", "line 4: a dword that is not 1 to 8 hex digits"},
        {head + "\"v\"=dword:12 34\n", "line 4: a dword that is not 1 to 8 hex digits"},
        {head + "\"v\"=hex(1:00\n", "line 4: a bad hex(type)"},
        {head + "\"v\"=hex 00\n", "line 4: hex without ':'"},
        {head + "\"v\"=hex:123\n", "line 4: a hex byte that is not one or two hex digits"},
        {head + "\"v\"=hex:1,0g\n", "line 4: hex bytes not separated by commas"},
        {head + "\"v\"=hex:01,,02\n", "line 4: a hex byte that is not one or two hex digits"},
        {head + "\"v\"=hex:01,\\\n", "line 4: a continued hex value at the end of the file"},
        {head + "\"v\"=-\n", "line 4: value deletion"},
        {head + "\"v\"=other\n", "line 4: a value of unknown form"},
        {head + "\"ok\"=\"1\"\n\n; fine so far\n\"v\"=\n", "line 7: a value of unknown form"},
    };
    for (const auto& [text, error] : cases) {
        SCOPED_TRACE(text);
        hv::Node tree;
        std::string got;
        EXPECT_EQ(hv::parseHive(text, "HKEY_CURRENT_USER", tree, got), error.empty());
        EXPECT_EQ(got.substr(0, error.size()), error) << got;
    }
}

TEST(HiveText, WrittenTextReadsBackToTheSameTree) {
    hv::Node tree;
    bool created = false;
    hv::Node& k = tree.ensure("Software", created).ensure("Say \"hi\" [there]", created);
    tree.ensure("Software", created).ensure("empty", created);
    k.values.push_back({"", hv::kString, "default"});
    k.values.push_back({"lines", hv::kString, "one\r\ntwo\n"});
    k.values.push_back({"d", hv::kDword, hv::dwordBytes(0x1234abcd)});
    k.values.push_back({"short dword", hv::kDword, "ab"});
    k.values.push_back({"x", 0x2a, std::string("\0\xff", 2)});
    std::string bytes;
    for (int i = 0; i < 300; ++i) bytes += static_cast<char>(i);
    k.values.push_back({"long", hv::kBinary, bytes});
    tree.values.push_back({"top", hv::kString, "at the root"});

    const std::string text = hv::formatHive(tree, "HKEY_CURRENT_USER");
    EXPECT_EQ(text.rfind("REGEDIT4\n\n[HKEY_CURRENT_USER]\n\"top\"=\"at the root\"\n", 0), 0u);
    EXPECT_NE(text.find("\n[HKEY_CURRENT_USER\\Software\\empty]\n"), std::string::npos);
    EXPECT_NE(text.find("\n\"short dword\"=hex(4):61,62\n"), std::string::npos);
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        EXPECT_LE(end - start, 80u) << text.substr(start, end - start);

    hv::Node back;
    std::string error;
    ASSERT_TRUE(hv::parseHive(text, "HKEY_CURRENT_USER", back, error)) << error;
    EXPECT_EQ(hv::formatHive(back, "HKEY_CURRENT_USER"), text);
    for (const hv::Value& v : k.values) {
        SCOPED_TRACE(v.name);
        const hv::Value* got = lookUp(back, "software\\SAY \"HI\" [THERE]", v.name);
        ASSERT_NE(got, nullptr);
        EXPECT_EQ(got->type, v.type);
        EXPECT_EQ(got->data, v.data);
    }
    EXPECT_NE(lookUp(back, "", "top"), nullptr);
}

}  // namespace
