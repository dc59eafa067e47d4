// The triggers' settings text: arbitrary bytes read as the [Triggers] group
// of a console's settings. Reading never fails hard, every trigger it keeps
// either compiles or is disabled with its error named, stored triggers read
// back the same, an old list's Text patterns find after their upgrade the
// bytes they found before, and the matcher then takes arbitrary records without
// keeping more than its bounded tail's worth of events per byte.

#include <cstdint>
#include <string>
#include <vector>

#include "config/CIniDocument.h"
#include "control/Triggers.h"
#include "input/Escapes.h"
#include "pattern/BytePattern.h"
#include "tests/fuzz/FuzzCheck.h"

using quillpad::fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace quillpad;
    const std::string input(reinterpret_cast<const char*>(data), size);
    CIniDocument doc;
    doc.LoadText(input, true);
    std::vector<std::string> errors;
    const std::vector<STrigger> triggers = ReadTriggers(doc, errors);
    Check(triggers.size() <= kMaxTriggers);
    for (const STrigger& t : triggers) {
        Check(t.holdOffMs <= kMaxHoldOffMs);
        if (t.enabled) {
            Check(TriggerPatternError(t).empty());
        }
    }

    // The old escapes read as the upgraded text reads today.
    Check(ParseFindEscapes(UpgradeTriggerText(input)) == ExpandEscapes(input));

    // Stored and read again, the list is the same and raises no new error.
    CIniDocument stored;
    StoreTriggers(stored, triggers);
    CIniDocument back;
    Check(back.LoadText(stored.SaveText(), true));
    std::vector<std::string> again;
    const std::vector<STrigger> reread = ReadTriggers(back, again);
    Check(reread.size() == triggers.size());
    Check(reread == triggers);
    Check(again.size() <= errors.size());

    // The input itself as records, in both directions, cut in small pieces.
    CTriggerMatcher matcher;
    matcher.SetTriggers(triggers);
    std::vector<STriggerEvent> events;
    std::uint64_t now = 0;
    for (std::size_t at = 0; at < size; at += 7) {
        const std::string_view piece = std::string_view(input).substr(at, 7);
        matcher.Feed(1, piece, now, events);
        matcher.Feed(2, piece, now, events);
        now += 3;
    }
    for (const STriggerEvent& e : events) {
        Check(e.trigger < triggers.size() && triggers[e.trigger].enabled);
        Check(e.direction == 1 || e.direction == 2);
    }
    return 0;
}
