#include "platform/Latin1Case.h"

namespace quillpad {
namespace {

struct SCaseTables {
    Latin1CaseTable lower{};
    Latin1CaseTable flip{};
};

const SCaseTables& CaseTables() {
    static const SCaseTables tables = [] {
        SCaseTables t;
        for (unsigned b = 0; b < 256; ++b) {
            t.lower[b] = static_cast<unsigned char>(b);
            t.flip[b] = static_cast<unsigned char>(b);
        }
        const auto pair = [&t](unsigned upper) {
            t.lower[upper] = static_cast<unsigned char>(upper + 0x20);
            t.flip[upper] = static_cast<unsigned char>(upper + 0x20);
            t.flip[upper + 0x20] = static_cast<unsigned char>(upper);
        };
        for (unsigned upper = 'A'; upper <= 'Z'; ++upper) {
            pair(upper);
        }
        for (unsigned upper = 0xC0; upper <= 0xDE; ++upper) {
            if (upper != 0xD7) {
                pair(upper);
            }
        }
        return t;
    }();
    return tables;
}

}  // namespace

const Latin1CaseTable& Latin1LowerCase() {
    return CaseTables().lower;
}

const Latin1CaseTable& Latin1FlippedCase() {
    return CaseTables().flip;
}

}  // namespace quillpad
