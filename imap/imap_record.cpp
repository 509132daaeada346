#include "imap/imap_record.h"

#include "imap/imap_utf7.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace imaprec {

namespace {

constexpr std::string_view kPrefix = "imap:";

bool equalsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

template <typename T>
bool number(std::string_view text, T& out) {
    if (text.empty()) return false;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    return ec == std::errc() && end == text.data() + text.size();
}

std::string trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return std::string(s);
}

}  // namespace

std::string key(const std::string& folder, std::uint32_t uidValidity, std::uint32_t uid) {
    return std::string(kPrefix) + folder + ":" + std::to_string(uidValidity) + ":" + std::to_string(uid);
}

std::string identifier(const Entry& e) {
    return key(e.folder, e.uidValidity, e.uid) + "\t" + std::to_string(e.fetched) + "\t" + std::to_string(e.size) +
           "\t" + e.messageId;
}

std::optional<Entry> parse(std::string_view id) {
    if (id.substr(0, kPrefix.size()) != kPrefix) return std::nullopt;
    std::size_t tab = id.find('\t');
    std::string_view k = id.substr(kPrefix.size(),
                                   tab == std::string_view::npos ? std::string_view::npos : tab - kPrefix.size());
    // The folder may hold ":": the numbers are read from the end.
    std::size_t c2 = k.rfind(':');
    if (c2 == std::string_view::npos || c2 == 0) return std::nullopt;
    std::size_t c1 = k.rfind(':', c2 - 1);
    if (c1 == std::string_view::npos) return std::nullopt;
    Entry e;
    e.folder = std::string(k.substr(0, c1));
    if (!number(k.substr(c1 + 1, c2 - c1 - 1), e.uidValidity) || !number(k.substr(c2 + 1), e.uid)) return std::nullopt;
    if (tab != std::string_view::npos) {
        std::string_view rest = id.substr(tab + 1);
        std::size_t t2 = rest.find('\t');
        std::size_t t3 = t2 == std::string_view::npos ? t2 : rest.find('\t', t2 + 1);
        if (t3 == std::string_view::npos) return std::nullopt;
        if (!number(rest.substr(0, t2), e.fetched) || !number(rest.substr(t2 + 1, t3 - t2 - 1), e.size))
            return std::nullopt;
        e.messageId = std::string(rest.substr(t3 + 1));
    }
    return e;
}

std::string messageId(std::string_view header) {
    std::size_t at = 0;
    while (at < header.size()) {
        std::size_t eol = header.find('\n', at);
        std::string_view line = header.substr(at, eol == std::string_view::npos ? std::string_view::npos : eol - at);
        at = eol == std::string_view::npos ? header.size() : eol + 1;
        std::size_t colon = line.find(':');
        if (colon == std::string_view::npos || !equalsNoCase(trim(line.substr(0, colon)), "message-id")) continue;
        std::string value(line.substr(colon + 1));
        // Folded continuation lines belong to the value.
        while (at < header.size() && (header[at] == ' ' || header[at] == '\t')) {
            std::size_t next = header.find('\n', at);
            value += header.substr(at, next == std::string_view::npos ? std::string_view::npos : next - at);
            at = next == std::string_view::npos ? header.size() : next + 1;
        }
        std::string clean;
        for (char c : value)
            if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7f) clean += c;
        return trim(clean);
    }
    return {};
}

std::string utf8FolderName(std::string name) {
    if (name.find('&') == std::string::npos) return name;
    std::optional<std::string> decoded = imaputf7::decode(name);
    return decoded ? std::move(*decoded) : name;
}

std::vector<std::string> folderList(const std::string& setting, bool& all) {
    all = false;
    std::vector<std::string> out;
    std::size_t at = 0;
    while (at <= setting.size()) {
        std::size_t comma = setting.find(',', at);
        if (comma == std::string::npos) comma = setting.size();
        std::string name = utf8FolderName(trim(std::string_view(setting).substr(at, comma - at)));
        at = comma + 1;
        if (name.empty()) continue;
        if (equalsNoCase(name, "ALL")) {
            all = true;
            continue;
        }
        if (std::find(out.begin(), out.end(), name) == out.end()) out.push_back(name);
    }
    return out;
}

bool skippedByAll(const std::vector<std::string>& flags, const std::string& name) {
    for (const std::string& f : flags)
        for (const char* s : {"\\Noselect", "\\NonExistent", "\\All", "\\Trash", "\\Junk"})
            if (equalsNoCase(f, s)) return true;
    return name == "[Gmail]/All Mail" || name == "[Google Mail]/All Mail";
}

bool quote(const std::string& text, std::string& out) {
    out = "\"";
    for (char c : text) {
        unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 || u >= 0x7f) return false;
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    out += '"';
    return true;
}

std::string uidSet(const std::vector<std::uint32_t>& uids) {
    std::string out;
    for (std::size_t i = 0; i < uids.size();) {
        std::size_t j = i;
        while (j + 1 < uids.size() && uids[j + 1] == uids[j] + 1) ++j;
        if (!out.empty()) out += ',';
        out += std::to_string(uids[i]);
        if (j > i) out += ":" + std::to_string(uids[j]);
        i = j + 1;
    }
    return out;
}

}  // namespace imaprec

void TransferFormWriter::put(const char* data, std::size_t n) {
    if (failed_ || n == 0) return;
    if (std::fwrite(data, 1, n, file_) != n) failed_ = true;
}

void TransferFormWriter::write(std::string_view bytes) {
    if (bytes.empty()) return;
    any_ = true;
    std::size_t from = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        char c = bytes[i];
        if (lineStart_ && c == '.') {
            put(bytes.data() + from, i - from);
            put(".", 1);
            from = i;
        }
        // A line starts after CRLF, as the local POP3 server and a POP3 provider count lines.
        lineStart_ = c == '\n' && last_ == '\r';
        beforeLast_ = last_;
        last_ = c;
    }
    put(bytes.data() + from, bytes.size() - from);
}

bool TransferFormWriter::finish() {
    if (any_ && !(beforeLast_ == '\r' && last_ == '\n')) put("\r\n", 2);
    return !failed_;
}
