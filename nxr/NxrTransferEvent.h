#pragma once
// What a file transfer tells the console: the events 20 to 24 of a session.

#include <cstdint>
#include <string>

namespace quillpad {

enum class ENxrTransferEventKind { BatchStart, FileStart, FileProgress, FileFinish, BatchFinish };

struct SNxrTransferEvent {
    ENxrTransferEventKind kind = ENxrTransferEventKind::BatchStart;
    std::string text;   // batch title; file start: source
    std::string text2;  // file start: target
    std::string text3;  // file start: protocol
    // batch start: files, bytes; file start: size; progress: done, total,
    // errors, retries
    std::int32_t values[4] = {0, 0, 0, 0};
    bool flag = false;  // file start: sending; finishes: success
};

}  // namespace quillpad
