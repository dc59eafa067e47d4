#pragma once
// Twenty triggers as an engineer might keep them (10 texts, 10 regular
// expressions), each marking the history: the load the trigger figures are
// measured under.

#include <vector>

#include "control/Triggers.h"

namespace quillpad::bench {

inline std::vector<STrigger> TwentyTriggers() {
    std::vector<STrigger> triggers;
    const char* texts[] = {"login:",   "Password:", "U-Boot 20", "Kernel panic", "\\x1b[2J",
                           "Segfault", "=> ",       "OK\\r",     "NO CARRIER",   "Rebooting"};
    const char* regexes[] = {R"(ERR(OR)?:\s+\d+)", R"(temp=\d+\.\d)",      R"(^\$ $)",
                             R"(v\d+\.\d+\.\d+)",  R"(fault [0-9a-f]{8})", R"(WARN\w*)",
                             R"(link (up|down))",  R"(id=[A-Z]{3}\d{4})",  R"(crc [0-9A-F]{4})",
                             R"(retry #\d+)"};
    for (const char* t : texts) {
        STrigger trigger;
        trigger.name = t;
        trigger.pattern = t;
        trigger.action = ETriggerAction::Mark;
        triggers.push_back(trigger);
    }
    for (const char* r : regexes) {
        STrigger trigger;
        trigger.name = r;
        trigger.pattern = r;
        trigger.mode = ETriggerMode::Regex;
        trigger.action = ETriggerAction::Mark;
        triggers.push_back(trigger);
    }
    return triggers;
}

}  // namespace quillpad::bench
