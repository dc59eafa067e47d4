#pragma once
// The styles a console offers and the choice among them. The control turns
// the answers into its style menu and hands the current scheme to the view.
//
// Schemes are shared: the view keeps the one it renders with alive after a
// rescan has dropped it from the list. The schemes a rescan lists are the
// process's copies of the built-in styles and of the style sheets (read once
// while a file is unchanged), shared by every list and never changed; the
// scheme a list makes current is first copied into its own, which may then
// be edited in place. So Current() is always the list's own.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "styles/CStyleScheme.h"

namespace quillpad {

// One line of the style menu.
struct SSchemeMenuEntry {
    std::uint16_t command = 0;
    std::string text;
};

// A style sheet file that a rescan could not read.
struct SSkippedScheme {
    std::string path;
    std::string reason;
};

class CSchemeList {
  public:
    static constexpr std::uint16_t kFirstMenuCommand = 34000;
    // Commands from kFirstMenuCommand + kMaxMenuEntries on belong to another menu.
    static constexpr std::size_t kMaxMenuEntries = 100;
    static constexpr const char* kStyleSheetExtension = ".tss";
    static constexpr const char* kNormalName = "Normal";
    static constexpr const char* kHexModeName = "Hex Mode";

    // The built-in schemes (set A when every source is shown, else set B),
    // then one scheme per readable style sheet file in the data folder, in
    // byte order of the file names. Forgets the current and previous scheme.
    void Rescan(const std::string& dataDirectory, bool showAllSources);
    // A rescan that keeps the current scheme current (the same object, in
    // the place of its file or built-in) and the list's own copies of what
    // is unchanged on disk, as well as the previous scheme of the Hex Mode
    // toggle. True when the list now holds other schemes than before.
    bool Refresh(const std::string& dataDirectory, bool showAllSources);
    // The style sheet files the last rescan could not read, and why.
    const std::vector<SSkippedScheme>& Skipped() const { return m_skipped; }

    // At most the first kMaxMenuEntries schemes, each with its command.
    std::vector<SSchemeMenuEntry> MenuEntries() const;
    // How many schemes the menu has no room for.
    std::size_t HiddenCount() const;
    // The radio mark: the current scheme's command, 0 when there is none.
    std::uint16_t CheckedCommand() const;

    // Every scheme of that exact name becomes current in turn, so the last
    // one wins. False, and nothing changed, when no scheme has the name.
    bool SelectByName(const std::string& name);
    // Selects by the name of the entry, so that of two schemes sharing a name
    // the menu picks the same one as the name walk does.
    bool SelectByCommand(std::uint16_t command);
    // Switches between "Hex Mode" and the scheme used before it ("Normal"
    // when there was none). True when a scheme was selected.
    bool ToggleHexMode();

    const std::shared_ptr<CStyleScheme>& Current() const { return m_current; }
    const std::string& PreviousName() const { return m_previousName; }
    // Only the current scheme may be changed: the others may be shared.
    const std::vector<std::shared_ptr<CStyleScheme>>& Schemes() const { return m_schemes; }
    // The menu command of the scheme at a position of Schemes(), or of a
    // listed scheme; 0 beyond the menu or when not listed.
    static std::uint16_t CommandAt(std::size_t index);
    std::uint16_t CommandOf(const CStyleScheme* scheme) const;

    // Adds a scheme unless that very object is listed already. True when added.
    bool Append(std::shared_ptr<CStyleScheme> scheme);
    bool Contains(const CStyleScheme* scheme) const;
    // The listed scheme read from that file, if any; paths are compared as
    // the file system resolves them.
    std::shared_ptr<CStyleScheme> FindByPath(const std::string& path) const;
    // Puts `with` in the place of the listed scheme `listed`, with its menu
    // command; it becomes current if `listed` was. False when not listed.
    bool Replace(const CStyleScheme* listed, std::shared_ptr<CStyleScheme> with);
    void MakeCurrent(std::shared_ptr<CStyleScheme> scheme);

  private:
    void AssignMenuCommands();
    // The list's own copy of a listed scheme, in its place.
    const std::shared_ptr<CStyleScheme>& Own(std::size_t index);

    std::vector<std::shared_ptr<CStyleScheme>> m_schemes;
    std::vector<bool> m_shared;  // per scheme: still the process's copy
    // Per scheme: the process's copy it was made from, null for one that came
    // from elsewhere (the style editor).
    std::vector<std::shared_ptr<CStyleScheme>> m_origin;
    std::vector<SSkippedScheme> m_skipped;
    std::shared_ptr<CStyleScheme> m_current;
    std::string m_previousName;
};

}  // namespace quillpad
