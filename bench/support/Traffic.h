#pragma once
// Realistic console traffic for benchmarks: mostly printable text in lines
// ending CR LF, a prompt, some control bytes (ESC sequences, tabs, BEL) and
// some high bytes, cut into records of a fixed size.

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace quillpad::bench {

inline std::string MakeTraffic(std::size_t bytes, std::uint32_t seed = 1) {
    static const char* kWords[] = {"status", "OK",     "axis",  "temp", "0x3F21", "ready",
                                   "motor",  "error",  "12.50", "V",    "rpm",    "=",
                                   "node",   "reply:", "set",   "42"};
    std::mt19937 rng(seed);
    std::string out;
    out.reserve(bytes + 64);
    while (out.size() < bytes) {
        const unsigned roll = rng() % 100;
        if (roll < 80) {
            out += kWords[rng() % 16];
            out += ' ';
        } else if (roll < 90) {
            out += "\r\n";
        } else if (roll < 94) {
            out += "\r\n> ";
        } else if (roll < 97) {
            out += "\x1b[0m\t";
        } else if (roll < 99) {
            out.push_back(static_cast<char>(0x80 + rng() % 0x80));
        } else {
            out.push_back(static_cast<char>(rng() % 0x20));
        }
    }
    out.resize(bytes);
    return out;
}

// The traffic cut into records of `recordSize` bytes.
inline std::vector<std::string> MakeRecords(std::size_t total, std::size_t recordSize,
                                            std::uint32_t seed = 1) {
    const std::string traffic = MakeTraffic(total, seed);
    std::vector<std::string> records;
    for (std::size_t i = 0; i < traffic.size(); i += recordSize) {
        records.push_back(traffic.substr(i, recordSize));
    }
    return records;
}

}  // namespace quillpad::bench
