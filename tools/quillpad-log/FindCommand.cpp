#include "tools/quillpad-log/FindCommand.h"

#include <cstdio>

#include "data/DataStore.h"
#include "data/HistoryFind.h"
#include "platform/LocalTime.h"
#include "platform/MessageChannel.h"

namespace quillpad {

namespace {

// As grep has them: a command line or file that cannot be used is 2, like
// a pattern that does not compile, so 1 always means "not found".
constexpr int kStatusFound = 0;
constexpr int kStatusNotFound = 1;
constexpr int kStatusTrouble = 2;
constexpr int kStatusOutputFailed = 3;

int Usage() {
    std::fputs(
        "usage: quillpad-log find [--hex | --regex] [--ignore-case] [--direction in|out]\n"
        "                         [--count] PATTERN FILE.wblog\n",
        stderr);
    return kStatusTrouble;
}

std::string FormatTime(const SRecordTime& time) {
    std::string text = FormatCalendarSeconds("%Y-%m-%d %H:%M:%S", time.seconds);
    char ms[8];
    std::snprintf(ms, sizeof ms, ".%03u", static_cast<unsigned>(time.milliseconds));
    return text + ms;
}

}  // namespace

int RunFindCommand(const std::vector<std::string>& args) {
    SFindQuery query;
    bool hex = false;
    bool regex = false;
    bool count = false;
    std::vector<std::string> operands;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--hex") {
            hex = true;
        } else if (a == "--regex") {
            regex = true;
        } else if (a == "--ignore-case") {
            query.matchCase = false;
        } else if (a == "--count") {
            count = true;
        } else if (a == "--direction" && i + 1 < args.size()) {
            const std::string& d = args[++i];
            if (d == "in") {
                query.direction = kDirectionIncoming;
            } else if (d == "out") {
                query.direction = kDirectionOutgoing;
            } else {
                std::fprintf(stderr, "quillpad-log: --direction is in or out, not %s\n", d.c_str());
                return Usage();
            }
        } else if (a == "--") {
            operands.insert(operands.end(), args.begin() + static_cast<long>(i) + 1, args.end());
            break;
        } else if (a.size() > 1 && a[0] == '-') {
            std::fprintf(stderr, "quillpad-log: unknown option %s\n", a.c_str());
            return Usage();
        } else {
            operands.push_back(a);
        }
    }
    if (operands.size() != 2 || (hex && regex)) {
        return Usage();
    }
    query.text = operands[0];
    query.mode = hex ? EFindMode::Hex : regex ? EFindMode::Pattern : EFindMode::Text;
    const CBytePattern pattern(query);
    if (!pattern.IsValid()) {
        std::fprintf(stderr, "quillpad-log: bad pattern: %s\n", pattern.Error().c_str());
        return kStatusTrouble;
    }

    const std::string& path = operands[1];
    CQueuedChannel channel;
    CDataStore store(channel);
    const SBinaryLogLoad load = store.LoadLog(path);
    if (!load.accepted) {
        std::fprintf(stderr, "Error loading specified log file.\n%s: %s\n", path.c_str(),
                     load.error.c_str());
        return kStatusTrouble;
    }

    std::uint64_t matches = 0;
    std::string out;
    CHistoryScan scan(store, pattern, SHistoryPoint{});
    scan.Step(static_cast<std::size_t>(-1), [&](const SFindMatch& match) {
        ++matches;
        if (count) {
            return true;
        }
        const SDataRecord record = *store.Record(match.sequence);
        out += FormatTime(store.TimeOfTick(record.tick));
        out += record.direction == kDirectionOutgoing ? " out " : " in ";
        out += std::to_string(match.historyOffset);
        out += ' ';
        AppendFindEscapes(out, MatchBytes(store, match, pattern.Direction()));
        out += '\n';
        if (out.size() >= (std::size_t{1} << 16)) {
            std::fwrite(out.data(), 1, out.size(), stdout);
            out.clear();
        }
        return true;
    });
    if (count) {
        out = std::to_string(matches) + "\n";
    }
    std::fwrite(out.data(), 1, out.size(), stdout);
    std::fflush(stdout);
    if (std::ferror(stdout)) {
        return kStatusOutputFailed;
    }
    return matches > 0 ? kStatusFound : kStatusNotFound;
}

}  // namespace quillpad
