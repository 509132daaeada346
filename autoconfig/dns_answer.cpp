#include "autoconfig/dns_answer.h"

#include <algorithm>

namespace autoconfig {
namespace {

class Message {
public:
    Message(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    bool u16(std::size_t& pos, std::uint16_t& out) const {
        if (pos + 2 > size_) return false;
        out = static_cast<std::uint16_t>(data_[pos] << 8 | data_[pos + 1]);
        pos += 2;
        return true;
    }
    bool u32(std::size_t& pos, std::uint32_t& out) const {
        std::uint16_t hi, lo;
        if (!u16(pos, hi) || !u16(pos, lo)) return false;
        out = static_cast<std::uint32_t>(hi) << 16 | lo;
        return true;
    }

    // A possibly compressed name at pos; pos moves past it in the record. Labels of letters,
    // digits, "-" and "_" only (host names and service labels); at most 255 bytes and 64 jumps.
    bool name(std::size_t& pos, std::string& out) const {
        out.clear();
        std::size_t at = pos;
        bool jumped = false;
        int jumps = 0;
        for (;;) {
            if (at >= size_) return false;
            std::uint8_t length = data_[at];
            if ((length & 0xC0) == 0xC0) {
                if (at + 2 > size_ || ++jumps > 64) return false;
                std::size_t target = static_cast<std::size_t>(length & 0x3F) << 8 | data_[at + 1];
                if (!jumped) pos = at + 2;
                jumped = true;
                if (target >= size_) return false;
                at = target;
                continue;
            }
            if (length & 0xC0) return false;  // the reserved label types
            ++at;
            if (length == 0) break;
            if (at + length > size_) return false;
            if (!out.empty()) out += '.';
            for (std::size_t i = 0; i < length; ++i) {
                char c = static_cast<char>(data_[at + i]);
                bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
                          c == '_';
                if (!ok) return false;
                out += c;
            }
            if (out.size() > 255) return false;
            at += length;
        }
        if (!jumped) pos = at;
        return true;
    }

    std::size_t size() const { return size_; }

private:
    const std::uint8_t* data_;
    std::size_t size_;
};

// Walks the answer section, calling take(type, rdata position, rdata length) for each record.
template <class Take>
bool walkAnswers(const std::uint8_t* data, std::size_t size, std::string& why, Take take) {
    Message m(data, size);
    std::size_t pos = 0;
    std::uint16_t id, flags, questions, answers, authority, additional;
    if (!m.u16(pos, id) || !m.u16(pos, flags) || !m.u16(pos, questions) || !m.u16(pos, answers) ||
        !m.u16(pos, authority) || !m.u16(pos, additional)) {
        why = "a DNS reply shorter than its header";
        return false;
    }
    if (!(flags & 0x8000)) {
        why = "a DNS message that is not a reply";
        return false;
    }
    std::string name;
    for (int q = 0; q < questions; ++q) {
        std::uint16_t type, klass;
        if (!m.name(pos, name) || !m.u16(pos, type) || !m.u16(pos, klass)) {
            why = "a malformed question in a DNS reply";
            return false;
        }
    }
    for (int a = 0; a < answers; ++a) {
        std::uint16_t type, klass, length;
        std::uint32_t ttl;
        if (!m.name(pos, name) || !m.u16(pos, type) || !m.u16(pos, klass) || !m.u32(pos, ttl) || !m.u16(pos, length) ||
            pos + length > m.size()) {
            why = "a malformed record in a DNS reply";
            return false;
        }
        if (klass == 1 && !take(m, type, pos, length)) {
            why = "a malformed record in a DNS reply";
            return false;
        }
        pos += length;
    }
    return true;
}

}  // namespace

bool parseSrvAnswer(const std::uint8_t* data, std::size_t size, std::vector<SrvRecord>& out, std::string& why) {
    std::vector<SrvRecord> records;
    bool ok = walkAnswers(
        data, size, why, [&](const Message& m, std::uint16_t type, std::size_t pos, std::uint16_t length) {
            if (type != static_cast<std::uint16_t>(DnsType::Srv)) return true;
            std::size_t end = pos + length;
            SrvRecord r;
            if (!m.u16(pos, r.priority) || !m.u16(pos, r.weight) || !m.u16(pos, r.port) || !m.name(pos, r.target))
                return false;
            if (pos != end) return false;
            records.push_back(std::move(r));
            return records.size() <= 64;
        });
    if (ok) out = std::move(records);
    return ok;
}

bool parseMxAnswer(const std::uint8_t* data, std::size_t size, std::vector<MxRecord>& out, std::string& why) {
    std::vector<MxRecord> records;
    bool ok = walkAnswers(data, size, why,
                          [&](const Message& m, std::uint16_t type, std::size_t pos, std::uint16_t length) {
                              if (type != static_cast<std::uint16_t>(DnsType::Mx)) return true;
                              std::size_t end = pos + length;
                              MxRecord r;
                              if (!m.u16(pos, r.preference) || !m.name(pos, r.host)) return false;
                              if (pos != end) return false;
                              records.push_back(std::move(r));
                              return records.size() <= 64;
                          });
    if (ok) out = std::move(records);
    return ok;
}

std::vector<SrvRecord> orderSrv(std::vector<SrvRecord> records,
                                const std::function<std::uint32_t(std::uint32_t)>& random) {
    std::stable_sort(records.begin(), records.end(),
                     [](const SrvRecord& a, const SrvRecord& b) { return a.priority < b.priority; });
    std::vector<SrvRecord> ordered;
    ordered.reserve(records.size());
    for (std::size_t start = 0; start < records.size();) {
        std::size_t end = start;
        while (end < records.size() && records[end].priority == records[start].priority) ++end;
        // Those of weight 0 first, so that they have a small chance only.
        std::vector<SrvRecord> group(records.begin() + static_cast<long>(start),
                                     records.begin() + static_cast<long>(end));
        std::stable_partition(group.begin(), group.end(), [](const SrvRecord& r) { return r.weight == 0; });
        while (!group.empty()) {
            std::uint32_t sum = 0;
            for (const SrvRecord& r : group) sum += r.weight;
            std::uint32_t pick = random(sum);
            if (pick > sum) pick = sum;
            std::size_t chosen = group.size() - 1;
            std::uint32_t running = 0;
            for (std::size_t i = 0; i < group.size(); ++i) {
                running += group[i].weight;
                if (running >= pick) {
                    chosen = i;
                    break;
                }
            }
            ordered.push_back(group[chosen]);
            group.erase(group.begin() + static_cast<long>(chosen));
        }
        start = end;
    }
    return ordered;
}

std::vector<MxRecord> orderMx(std::vector<MxRecord> records) {
    std::stable_sort(records.begin(), records.end(),
                     [](const MxRecord& a, const MxRecord& b) { return a.preference < b.preference; });
    return records;
}

}  // namespace autoconfig
