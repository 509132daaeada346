#include "store/item_name.h"

#include "platform/clock.h"
#include "platform/files.h"

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>

namespace store {

namespace {

bool isAsciiAlnum(unsigned char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

}  // namespace

std::string directoryPrefix(const std::string& directory) {
    return directory.empty() ? std::string("./") : directory + "/";
}

std::string encodeNamePart(std::string_view text) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (char ch : text) {
        unsigned char c = static_cast<unsigned char>(ch);
        if (isAsciiAlnum(c)) {
            out += ch;
            continue;
        }
        out += '_';
        out += c < 0x10 ? ' ' : kHex[c >> 4];
        out += kHex[c & 0x0F];
    }
    return out;
}

std::string decodeNamePart(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '_') {
            out += text[i];
            continue;
        }
        std::string_view field = text.substr(i + 1, 2);
        std::size_t k = 0;
        while (k < field.size() && field[k] == ' ') ++k;
        int value = 0;
        bool any = false;
        for (; k < field.size(); ++k) {
            int v = hexValue(field[k]);
            if (v < 0) break;
            value = value * 16 + v;
            any = true;
        }
        out += any ? static_cast<char>(value) : '0';
        i += field.size();
    }
    return out;
}

ItemFileName parseItemFileName(std::string_view name) {
    ItemFileName result;
    std::string_view rest = name;
    if (!name.empty() && name.front() == '[') {
        std::size_t close = name.find(']');
        if (close != std::string_view::npos) {
            result.ownerTag = std::string(name.substr(1, close - 1));
            rest = name.substr(close + 1);
        }
    }
    result.id = decodeNamePart(rest.substr(0, rest.find('.')));
    return result;
}

namespace {

// 128 bits of hash: FNV-1a and a multiply-rotate hash, each over all bytes and the length.
std::string hashDigits(std::string_view text) {
    std::uint64_t a = 0xcbf29ce484222325ull, b = 0x9e3779b97f4a7c15ull ^ text.size();
    for (char ch : text) {
        auto c = static_cast<unsigned char>(ch);
        a = (a ^ c) * 0x100000001b3ull;
        b = (b ^ c) * 0xff51afd7ed558ccdull;
        b = (b << 29) | (b >> 35);
    }
    a ^= text.size();
    char digits[33];
    std::snprintf(digits, sizeof digits, "%016llx%016llx", static_cast<unsigned long long>(a),
                  static_cast<unsigned long long>(b));
    return digits;
}

// An escaped part cut to at most room bytes, never inside an escape, and marked with the hash
// of the text it escapes.
std::string shortenedPart(const std::string& escaped, std::string_view text, std::size_t room) {
    if (escaped.size() <= room) return escaped;
    std::string mark = "_7e" + hashDigits(text);
    std::size_t keep = room > mark.size() ? room - mark.size() : 0;
    // Every "_" starts a three-byte escape: a cut just after one, or one byte later, splits it.
    if (keep >= 1 && escaped[keep - 1] == '_') keep -= 1;
    else if (keep >= 2 && escaped[keep - 2] == '_') keep -= 2;
    return escaped.substr(0, keep) + mark;
}

}  // namespace

std::string ownerTaggedName(std::string_view owner, std::string_view id) {
    std::string tag = encodeNamePart(owner);
    std::string escapedId = encodeNamePart(id);
    const std::size_t fixed = 2 + kItemExtension.size();
    if (fixed + tag.size() + escapedId.size() > kMaxItemFileName) {
        tag = shortenedPart(tag, owner, kMaxShortenedOwnerTag);
        escapedId = shortenedPart(escapedId, id, kMaxItemFileName - fixed - tag.size());
    }
    std::string name = "[";
    name += tag;
    name += ']';
    name += escapedId;
    name += kItemExtension;
    return name;
}

std::string makeItemFileName(const std::string& directory, std::string_view owner, std::string_view id) {
    return directoryPrefix(directory) + ownerTaggedName(owner, id);
}

std::string itemNameForMs(long long utcMs) {
    using namespace std::chrono;
    sys_time<milliseconds> at{milliseconds{utcMs}};
    sys_days day = floor<days>(at);
    year_month_day date{day};
    hh_mm_ss<milliseconds> time{at - day};
    char name[96];
    std::snprintf(name, sizeof name, "%04d%02u%02u%02d%02d%02d%03d.rfc822", static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                  static_cast<int>(time.hours().count()), static_cast<int>(time.minutes().count()),
                  static_cast<int>(time.seconds().count()), static_cast<int>(time.subseconds().count()));
    return name;
}

bool isTimeStampedItemName(std::string_view name) {
    constexpr std::size_t kDigits = 17;
    if (name.size() != kDigits + kItemExtension.size() || name.substr(kDigits) != kItemExtension) return false;
    for (std::size_t i = 0; i < kDigits; ++i) {
        if (name[i] < '0' || name[i] > '9') return false;
    }
    return true;
}

std::string newItemFileName() {
    using namespace std::chrono;
    static long long lastMs = 0;
    plat::SystemTime t = plat::utcNow();
    sys_days day{year{t.year} / month{static_cast<unsigned>(t.month)} / static_cast<unsigned>(t.day)};
    long long ms = duration_cast<milliseconds>(day.time_since_epoch()).count() +
                   ((t.hour * 60LL + t.minute) * 60 + t.second) * 1000 + t.millisecond;
    lastMs = ms > lastMs ? ms : lastMs + 1;
    return itemNameForMs(lastMs);
}

NewItemFile createNewItemFile(const std::string& directory, const std::string& alsoAbsentFrom, ItemNameMaker makeName) {
    NewItemFile result;
    result.error = EEXIST;
    for (int attempt = 0; attempt < kNewItemAttempts; ++attempt) {
        std::string name = makeName();
        if (!alsoAbsentFrom.empty()) {
            std::string queued = directoryPrefix(alsoAbsentFrom) + name;
            if (plat::fileExists(queued) || plat::fileExists(queued + ".route")) continue;
        }
        std::string path = directory.empty() ? name : directoryPrefix(directory) + name;
        int err = 0;
        plat::FilePtr f = plat::createExclusive(path, &err);
        if (f) {
            result.file = std::move(f);
            result.name = std::move(name);
            result.path = std::move(path);
            result.error = 0;
            return result;
        }
        result.error = err;
        if (err != EEXIST) return result;
    }
    return result;
}

}  // namespace store
