#pragma once
// Turns records into text through a scheme, byte by byte: for each byte its
// colour rule decides font and colour, its format rule how it is written.
// Consecutive bytes under one colour rule go to the surface as one run.
//
// NUL bytes that would be written as themselves (no format rule, or as text)
// are dropped: they show as nothing on screen and in formatted text, and they
// never cut off the rest of a run. Under the hexadecimal codes a NUL is
// written by name ("[00h]", "[NUL]") like every other byte.

#include <cstdint>
#include <string>
#include <string_view>

#include "data/SDataRecord.h"
#include "styles/CStyleScheme.h"
#include "view/IRenderSurface.h"

namespace quillpad {

// A record made up on the spot (tests, tools): kind 1, own, incoming by default.
inline SDataRecord MakeRecord(std::string_view bytes, std::uint32_t direction = 1,
                              std::uint32_t source = 1, std::uint32_t sequence = 0) {
    SDataRecord r;
    r.sequence = sequence;
    r.direction = direction;
    r.source = source;
    r.bytes = bytes;
    r.length = static_cast<std::uint32_t>(bytes.size());
    return r;
}

// "[0Dh]" for code 2; "[CR]" for code 3 (control names for 0x00-0x1F).
std::string_view ByteName(std::uint8_t byte, bool translated);

class CStyledRenderer {
  public:
    // Takes a scheme (or none) and forgets the current colour rule, so the
    // first byte rendered afterwards applies its colour rule's format.
    void SetScheme(const CStyleScheme* scheme);
    const CStyleScheme* Scheme() const { return m_scheme; }

    // Renders a record onto the surface. Records of kind other than 1, and of
    // other sources unless showAllSources, are not shown and change nothing.
    void Render(IRenderSurface& surface, const SDataRecord& record, bool showAllSources);

    // The translated text of a record without fonts or colours; backspaces act
    // on the text alone. No visibility test.
    static std::string RenderToString(const CStyleScheme* scheme, const SDataRecord& record);
    static void AppendToString(std::string& out, const CStyleScheme* scheme,
                               const SDataRecord& record);

  private:
    const CStyleScheme* m_scheme = nullptr;
    // Never read through: the rule may be gone since. Within one record a
    // rule is the current one when it is this one; at a record's first
    // colour rule only when its format is also the kept copy.
    const SStyleRule* m_currentColourRule = nullptr;
    SCharFormat m_currentFormat;
    std::string m_pending;
};

}  // namespace quillpad
