// quillpad-log: tools for the people who keep binary console logs.
//
//   quillpad-log dump [--json] FILE.wblog
//   quillpad-log render [--style FILE.tss | --builtin NAME] [--set A|B]
//                       [--show-all-sources] [--timestamps] [--stamps absolute|start|delta]
//                       [--as text|plain|ansi|html] FILE.wblog
//   quillpad-log style show FILE.tss
//   quillpad-log style new --from NAME [--set A|B] OUT.tss
//   quillpad-log find [--hex | --regex] [--ignore-case] [--direction in|out] [--count]
//                     PATTERN FILE.wblog
//
// prints the header and every record the console's own loader keeps, so what
// it shows is what Load log would show. A file the loader refuses gives
// "Error loading specified log file." and the reason on stderr, status 2; a
// bad command line status 1; output that could not be written status 3. find
// has grep's statuses (FindCommand.h).

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "data/DataStore.h"
#include "pattern/BytePattern.h"
#include "platform/LocalTime.h"
#include "platform/MessageChannel.h"
#include "platform/ProgramInfo.h"
#include "tools/quillpad-log/FindCommand.h"
#include "tools/quillpad-log/RenderCommands.h"

namespace quillpad {
namespace {

constexpr int kStatusUsage = 1;
constexpr int kStatusOutputFailed = 3;
constexpr int kStatusRefused = 2;
constexpr char kHexDigits[] = "0123456789abcdef";

void PrintUsage(std::FILE* out = stderr) {
    std::fputs(
        "usage: quillpad-log dump [--json] FILE.wblog\n"
        "       quillpad-log render [--style FILE.tss | --builtin NAME] [--set A|B]\n"
        "                           [--show-all-sources] [--timestamps]\n"
        "                           [--stamps absolute|start|delta]\n"
        "                           [--as text|plain|ansi|html] FILE.wblog\n"
        "       quillpad-log style show FILE.tss\n"
        "       quillpad-log style new --from NAME [--set A|B] OUT.tss\n"
        "       quillpad-log find [--hex | --regex] [--ignore-case] [--direction in|out]\n"
        "                         [--count] PATTERN FILE.wblog\n",
        out);
}

void AppendHex(std::string& out, std::string_view bytes) {
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        out += kHexDigits[b >> 4];
        out += kHexDigits[b & 0x0F];
    }
}

void AppendJsonString(std::string& out, std::string_view text) {
    out += '"';
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (b < 0x20 || b >= 0x7F) {
            out += "\\u00";
            out += kHexDigits[b >> 4];
            out += kHexDigits[b & 0x0F];
        } else {
            out += c;
        }
    }
    out += '"';
}

std::string FormatTime(const SRecordTime& time, char separator) {
    const std::string format = std::string("%Y-%m-%d") + separator + "%H:%M:%S";
    std::string text = FormatCalendarSeconds(format, time.seconds);
    char ms[8];
    std::snprintf(ms, sizeof ms, ".%03u", static_cast<unsigned>(time.milliseconds));
    return text + ms;
}

std::string DirectionName(std::uint32_t direction) {
    switch (direction) {
        case kDirectionIncoming:
            return "in ";
        case kDirectionOutgoing:
            return "out";
        default:
            return "direction " + std::to_string(direction);
    }
}

std::string SourceName(std::uint32_t source) {
    switch (source) {
        case kSourceOwn:
            return "own  ";
        case kSourceOther:
            return "other";
        default:
            return "source " + std::to_string(source);
    }
}

void Flush(std::string& out) {
    std::fwrite(out.data(), 1, out.size(), stdout);
    out.clear();
}

int Dump(const std::string& path, bool json) {
    CQueuedChannel channel;
    CDataStore store(channel);
    const SBinaryLogLoad load = store.LoadLog(path);
    if (!load.accepted) {
        std::fprintf(stderr, "Error loading specified log file.\n%s: %s\n", path.c_str(),
                     load.error.c_str());
        return kStatusRefused;
    }

    const std::string_view name(load.header.name.data(),
                                strnlen(load.header.name.data(), load.header.name.size()));
    std::string out;
    if (json) {
        out += "{\"name\":";
        AppendJsonString(out, name);
        out += ",\"version\":" + std::to_string(load.header.version);
        out +=
            ",\"start\":\"" + FormatCalendarSeconds("%Y-%m-%dT%H:%M:%S", store.StartTime()) + "\"";
        out += ",\"start_tick\":" + std::to_string(store.StartTick()) + "}\n";
    } else {
        out += std::string(name) + ", version " + std::to_string(load.header.version) + ", start " +
               FormatCalendarSeconds("%Y-%m-%d %H:%M:%S", store.StartTime()) + ", start tick " +
               std::to_string(store.StartTick()) + ", " + std::to_string(store.RecordCount()) +
               " records\n";
    }

    for (std::size_t i = 0; i < store.RecordCount(); ++i) {
        const SDataRecord r = *store.Record(i);
        const SRecordTime time = store.TimeOfTick(r.tick);
        if (json) {
            out += "{\"seq\":" + std::to_string(r.sequence);
            out += ",\"tick\":" + std::to_string(r.tick);
            out += ",\"time\":\"" + FormatTime(time, 'T') + "\"";
            out += ",\"owner\":" + std::to_string(r.ownerId);
            out += ",\"direction\":" + std::to_string(r.direction);
            out += ",\"source\":" + std::to_string(r.source);
            out += ",\"length\":" + std::to_string(r.length);
            out += ",\"data\":\"";
            AppendHex(out, r.bytes);
            out += "\"}\n";
        } else {
            out += FormatTime(time, ' ') + ' ' + DirectionName(r.direction) + ' ' +
                   SourceName(r.source) + ' ' + std::to_string(r.length) + ' ';
            AppendFindEscapes(out, r.bytes);  // as a find box reads them back
            out += '\n';
        }
        if (out.size() >= (std::size_t{1} << 16)) {
            Flush(out);
        }
    }
    Flush(out);
    std::fflush(stdout);

    if (load.truncated) {
        std::fprintf(stderr,
                     "quillpad-log: warning: %s ends inside a record; its last %llu bytes "
                     "were ignored\n",
                     path.c_str(), static_cast<unsigned long long>(load.droppedBytes));
    }
    return std::ferror(stdout) ? kStatusOutputFailed : 0;
}

int Run(const std::vector<std::string>& args) {
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
        PrintUsage(stdout);
        return 0;
    }
    if (!args.empty() && args[0] == "render") {
        return RunRenderCommand(args);
    }
    if (!args.empty() && args[0] == "find") {
        return RunFindCommand(args);
    }
    if (!args.empty() && args[0] == "style") {
        return RunStyleCommand(args);
    }
    if (args.empty() || args[0] != "dump") {
        PrintUsage();
        return kStatusUsage;
    }
    bool json = false;
    std::vector<std::string> files;
    for (std::size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "--json") {
            json = true;
        } else if (args[i].size() > 1 && args[i][0] == '-') {
            std::fprintf(stderr, "quillpad-log: unknown option %s\n", args[i].c_str());
            PrintUsage();
            return kStatusUsage;
        } else {
            files.push_back(args[i]);
        }
    }
    if (files.size() != 1) {
        PrintUsage();
        return kStatusUsage;
    }
    return Dump(files[0], json);
}

}  // namespace
}  // namespace quillpad

int main(int argc, char** argv) {
    if (quillpad::AnswerVersion(argc, argv, "quillpad-log")) {
        return 0;
    }
    std::vector<std::string> args(argv + 1, argv + argc);
    return quillpad::Run(args);
}
