// quillpad-ref-log: writes a golden case's binary log from its record list,
// through the console's own log writer, so a case can be made again.
//
//   quillpad-ref-log records.txt OUT.wblog
//
// The list is text, one item a line; "#" starts a comment line:
//   start SECONDS TICK                     the log's time base (once, first)
//   TICK DIRECTION SOURCE OWNER BYTES      one data record
// BYTES is the rest of the line in the escapes of a function-key macro
// (\r, \n for CR LF, \xHH, \\), so any byte can be written.

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "data/BinaryLogWriter.h"
#include "input/Escapes.h"

namespace quillpad {
namespace {

bool Fail(const std::string& where, const std::string& why) {
    std::fprintf(stderr, "quillpad-ref-log: %s: %s\n", where.c_str(), why.c_str());
    return false;
}

bool Make(const std::string& listPath, const std::string& outPath) {
    std::ifstream list(listPath);
    if (!list) {
        return Fail(listPath, "cannot be read");
    }
    std::unique_ptr<CBinaryLogWriter> writer;
    std::uint32_t sequence = 0;
    std::string line;
    for (int number = 1; std::getline(list, line); ++number) {
        const std::string where = listPath + ":" + std::to_string(number);
        if (line.empty() || line[0] == '#') {
            continue;
        }
        std::istringstream fields(line);
        if (line.rfind("start ", 0) == 0) {
            std::string word;
            long long seconds = 0;
            unsigned long tick = 0;
            if (writer || !(fields >> word >> seconds >> tick)) {
                return Fail(where, "one \"start SECONDS TICK\" line, before the records");
            }
            std::string error;
            writer = CBinaryLogWriter::Create(outPath, seconds, static_cast<std::uint32_t>(tick),
                                              EBinaryLogFlush::AtClose, &error);
            if (!writer) {
                return Fail(outPath, error);
            }
            continue;
        }
        unsigned long tick = 0, direction = 0, source = 0, owner = 0;
        if (!writer || !(fields >> tick >> direction >> source >> owner)) {
            return Fail(where, "expected \"TICK DIRECTION SOURCE OWNER BYTES\" after a start line");
        }
        std::string macro;
        std::getline(fields >> std::ws, macro);
        const std::string bytes = ExpandEscapes(macro);
        SDataRecord r;
        r.sequence = sequence++;
        r.tick = static_cast<std::uint32_t>(tick);
        r.direction = static_cast<std::uint32_t>(direction);
        r.source = static_cast<std::uint32_t>(source);
        r.ownerId = static_cast<std::uint32_t>(owner);
        r.bytes = bytes;
        r.length = static_cast<std::uint32_t>(bytes.size());
        writer->Write(r);
    }
    if (!writer) {
        return Fail(listPath, "no start line");
    }
    return writer->Close() || Fail(outPath, "could not be written");
}

}  // namespace
}  // namespace quillpad

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fputs("usage: quillpad-ref-log records.txt OUT.wblog\n", stderr);
        return 1;
    }
    return quillpad::Make(argv[1], argv[2]) ? 0 : 2;
}
