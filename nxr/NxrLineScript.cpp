#include "nxr/NxrLineScript.h"

namespace quillpad {

SNxrLineStep NxrSetLine(ENxrLineStep line, bool on) {
    return {line, on ? 1 : 0, {}};
}

SNxrLineStep NxrWait(std::int32_t ms) {
    return {ENxrLineStep::Wait, ms, {}};
}

SNxrLineStep NxrSend(ByteString bytes) {
    return {ENxrLineStep::Send, 0, std::move(bytes)};
}

std::vector<SNxrLineStep> NxrPulse(ENxrLineStep line, bool on, std::int32_t ms) {
    return {NxrSetLine(line, !on), NxrWait(ms), NxrSetLine(line, on)};
}

CNxrParamBlock NxrLineScriptBlock(const std::vector<SNxrLineStep>& steps) {
    CNxrParamBlock block;
    for (const SNxrLineStep& step : steps) {
        block.AddInteger(static_cast<std::int32_t>(step.kind));
        if (step.kind == ENxrLineStep::Send) {
            block.AddBlob(ENxrParamType::Blob5, step.bytes);
        } else {
            block.AddInteger(step.value);
        }
    }
    return block;
}

std::optional<std::vector<SNxrLineStep>> NxrReadLineScript(const CNxrParamBlock& block,
                                                           std::string* error) {
    const auto fail = [error](std::string why) -> std::optional<std::vector<SNxrLineStep>> {
        if (error != nullptr) {
            *error = std::move(why);
        }
        return std::nullopt;
    };
    std::vector<SNxrLineStep> steps;
    const auto& values = block.Values();
    for (std::size_t i = 0; i < values.size(); i += 2) {
        const auto kind = block.IntegerAt(i);
        if (!kind) {
            return fail("step " + std::to_string(steps.size() + 1) + " has no kind");
        }
        const std::string which = "step " + std::to_string(steps.size() + 1);
        if (i + 1 >= values.size()) {
            return fail(which + " has no value");
        }
        SNxrLineStep step;
        step.kind = static_cast<ENxrLineStep>(*kind);
        switch (step.kind) {
            case ENxrLineStep::Send:
                if (values[i + 1].type != ENxrParamType::Blob5) {
                    return fail(which + " sends no bytes");
                }
                step.bytes = values[i + 1].bytes;
                break;
            case ENxrLineStep::Dtr:
            case ENxrLineStep::Rts:
            case ENxrLineStep::Wait: {
                const auto value = block.IntegerAt(i + 1);
                if (!value) {
                    return fail(which + " has no number");
                }
                if (step.kind == ENxrLineStep::Wait && (*value < 0 || *value > kNxrMaxLineWaitMs)) {
                    return fail("a wait of " + std::to_string(*value) +
                                " ms is out of range (0 to " + std::to_string(kNxrMaxLineWaitMs) +
                                ")");
                }
                step.value = step.kind == ENxrLineStep::Wait ? *value : (*value != 0 ? 1 : 0);
                break;
            }
            default:
                return fail(which + " is of unknown kind " + std::to_string(*kind));
        }
        steps.push_back(std::move(step));
    }
    return steps;
}

const std::vector<SNxrResetSequence>& NxrResetSequences() {
    using enum ENxrLineStep;
    // The adapters these boards carry invert: a line on pulls its pin low.
    static const std::vector<SNxrResetSequence> sequences = {
        {"ESP32 / ESP8266 boot loader",
         "RTS drives EN (reset), DTR drives IO0 (boot): reset with IO0 high, then release reset "
         "with IO0 held low",
         {NxrSetLine(Dtr, false), NxrSetLine(Rts, true), NxrWait(100), NxrSetLine(Dtr, true),
          NxrSetLine(Rts, false), NxrWait(50), NxrSetLine(Dtr, false)}},
        {"ESP32 / ESP8266 reset",
         "RTS drives EN (reset): a reset into the program, IO0 left high",
         {NxrSetLine(Dtr, false), NxrSetLine(Rts, true), NxrWait(100), NxrSetLine(Rts, false)}},
        {"Arduino reset",
         "DTR reaches RESET through a capacitor: a falling edge resets the board into its boot "
         "loader",
         {NxrSetLine(Dtr, false), NxrSetLine(Rts, false), NxrWait(250), NxrSetLine(Dtr, true),
          NxrSetLine(Rts, true), NxrWait(50)}},
        {"STM32 system boot loader",
         "RTS drives BOOT0, DTR drives NRST: reset with BOOT0 high, then release reset",
         {NxrSetLine(Rts, true), NxrSetLine(Dtr, true), NxrWait(100), NxrSetLine(Dtr, false),
          NxrWait(100), NxrSetLine(Rts, false)}},
    };
    return sequences;
}

std::string NxrDescribeSteps(const std::vector<SNxrLineStep>& steps) {
    std::string text;
    for (const SNxrLineStep& step : steps) {
        if (!text.empty()) {
            text += ", ";
        }
        switch (step.kind) {
            case ENxrLineStep::Dtr:
                text += step.value != 0 ? "DTR on" : "DTR off";
                break;
            case ENxrLineStep::Rts:
                text += step.value != 0 ? "RTS on" : "RTS off";
                break;
            case ENxrLineStep::Wait:
                text += "wait " + std::to_string(step.value) + " ms";
                break;
            case ENxrLineStep::Send:
                text += "send " + std::to_string(step.bytes.size()) + " bytes";
                break;
        }
    }
    return text;
}

}  // namespace quillpad
