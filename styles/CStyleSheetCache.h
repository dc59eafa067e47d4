#pragma once
// The style sheets of the data folders as every console reads them: a folder
// listed once while its directory watch sees nothing change, a sheet read
// once while it is unchanged. Lists share what it gives until one of them
// chooses a scheme (CSchemeList copies it then).

#include <sys/types.h>

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/CDirectoryWatch.h"
#include "styles/CStyleScheme.h"

namespace quillpad {

// A style sheet file of a folder; `plain` when the listing says it is a
// regular file rather than a link to one elsewhere.
struct SSheetFile {
    std::string name;
    bool plain = false;
};
using SheetFiles = std::vector<SSheetFile>;

// A folder's style sheet files as listed, and which folder it was.
struct SSheetListing {
    std::shared_ptr<const SheetFiles> files = std::make_shared<SheetFiles>();
    // No links or entries of unknown type: whether each is a file then
    // depends on more than this folder.
    bool onlyPlain = true;
    dev_t device = 0;
    ino_t inode = 0;
};

// The "*.tss" files of a folder (any case of the extension), sorted by bytes
// so that the menu does not depend on the file system's order. A missing
// folder has none.
SSheetListing ListStyleSheets(const std::string& folder);

// Listing a folder of a hundred sheets and checking their times costs more in
// the kernel than the rest of a console's start. So while the watch gives a
// folder the same mark, its last listing and the sheets checked since are
// taken as they are. What no watch can vouch for is checked every time: links
// (their target may live elsewhere), files with more than one name (a write
// through the other name is reported in the other folder), and the folders
// the watch gives mark 0.
class CStyleSheetCache {
  public:
    // What a rescan of a folder may count on: a mark that Share compares
    // with the one a sheet was last checked under (0 vouches for nothing),
    // and the folder's listing while it still holds.
    struct SScan {
        std::uint64_t mark = 0;
        std::shared_ptr<const SheetFiles> files;
    };
    SScan Begin(const std::string& folder);
    // Keeps a listing made after Begin for the next scans. The mark the
    // listing's sheets may be checked under: 0 when it is not of the folder
    // the watch is on.
    std::uint64_t Listed(const std::string& folder, std::uint64_t mark,
                         const SSheetListing& listing);
    // The scheme of a sheet: the one read before when the sheet was checked
    // under this mark or has the same size and modification time, else read
    // now. Null, with the reason, when it cannot be read.
    std::shared_ptr<const CStyleScheme> Share(const std::string& path, std::uint64_t mark,
                                              std::string& error);

  private:
    static constexpr std::size_t kMaxSheets = 1000;
    static constexpr std::size_t kMaxListings = 64;
    struct SStamp {
        std::int64_t size;
        std::int64_t modified;
        bool operator==(const SStamp&) const = default;
    };
    struct SSheet {
        SStamp stamp;
        std::shared_ptr<const CStyleScheme> scheme;
        std::uint64_t mark = 0;  // the folder's mark when last checked
    };
    struct SListing {
        std::uint64_t listedUnder = 0;  // the folder's mark when listed
        std::shared_ptr<const SheetFiles> files;
    };

    CDirectoryWatch m_watch;
    std::mutex m_mutex;
    std::map<std::string, SSheet> m_sheets;
    std::map<std::string, SListing> m_listings;
};

// The process's one cache: every console reads the same style sheets.
CStyleSheetCache& StyleSheetCache();

}  // namespace quillpad
