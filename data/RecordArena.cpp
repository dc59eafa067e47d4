#include "data/RecordArena.h"

#include <algorithm>
#include <cstring>

#include "data/AdoptedLog.h"
#include "data/BinaryLogFormat.h"
#include "data/LoadedLog.h"
#include "platform/TurnBudget.h"

namespace quillpad {
namespace {

constexpr std::size_t kRecordOverhead = kBinaryLogHeadSize + kBinaryLogLengthSize;
// Windows a run of lookups may leave mapped before the next append unmaps them.
constexpr std::size_t kKeptWindows = 16;
// At most this many records a piece: one gathered write each.
constexpr std::size_t kWriteRecords = 512;
// Collected pieces kept for the next ones (their room for heads and views).
constexpr std::size_t kSparePieces = 8;
// Blocks that went to disk kept for the next ones (within the budget): a
// flood seals a few a turn, and fresh pages from the system cost a fault
// each on first touch and an unmap when they go.
constexpr std::size_t kSpareBlocks = 8;
// Most the arena holds past its budget while a bounded flush catches up (a
// quarter of a small budget): a few turns of a flood.
constexpr std::size_t kSpillSlack = std::size_t{8} << 20;

}  // namespace

std::size_t CRecordArena::SAttributesHash::operator()(const SAttributes& a) const noexcept {
    std::uint64_t h = a.ownerId;
    h = h * 0x9E3779B97F4A7C15ull + a.direction;
    h = h * 0x9E3779B97F4A7C15ull + a.source;
    return static_cast<std::size_t>(h ^ (h >> 29));
}

CRecordArena::~CRecordArena() {
    UnmapWindows();
    m_spill.reset();  // its writer may still read blocks in flight
}

std::uint32_t CRecordArena::AttributeIndex(const SAttributes& attributes) {
    // Nearly every record has the attributes of the one before it.
    if (m_lastAttribute < m_attributes.size() && m_attributes[m_lastAttribute] == attributes) {
        return m_lastAttribute;
    }
    auto [it, added] =
        m_attributeIndex.try_emplace(attributes, static_cast<std::uint32_t>(m_attributes.size()));
    if (added) {
        m_attributes.push_back(attributes);
    }
    m_lastAttribute = it->second;
    return it->second;
}

void CRecordArena::TrimWindows() const {
    if (m_windows.size() + (m_log ? m_log->WindowCount() : 0) > kKeptWindows) {
        UnmapWindows();
    }
}

char* CRecordArena::Reserve(std::uint32_t length) {
    TrimWindows();
    // The adopted log's block takes nothing new.
    if (m_blocks.size() > m_logBlocks) {
        SBlock& current = m_blocks.back();
        if (current.capacity - current.used >= length) {
            return current.data.get() + current.used;
        }
        if (current.firstRecord == m_count) {
            m_blocks.pop_back();  // an earlier reservation that was never used
        }
    }
    // The current block is sealed now: the writer gets it at once. When it
    // falls behind, this turn's intake stops early so that it catches up
    // (and past the slack the turns stop it whole: CLogTurnFlush). Only
    // twice the slack past the budget, which a single long turn (a load) or
    // a loop that flushes at no turn's start reaches, is the writer waited
    // for here, inside the turn's work.
    if (!m_target.folder.empty() && !m_spillFailed) {
        SpillStep();
        if (ReservedBytes() > m_target.budgetBytes + 2 * SpillSlack()) {
            FlushSpill();
        } else if (SpillBehind()) {
            ThreadTurnBudget().Spend();
        }
    }
    // Large records get a block of their own size, so a block wastes at most
    // a quarter of itself on a tail that did not fit.
    const std::size_t own = m_blocks.size() - m_logBlocks;
    const std::size_t standard =
        own >= 8 ? kBlockBytes : std::min(kBlockBytes, kFirstBlockBytes << own);
    const std::uint32_t capacity =
        length > standard / 4 ? length : static_cast<std::uint32_t>(standard);
    if (capacity == kBlockBytes && m_spareBlocks.empty()) {
        RecycleWrittenBlock();
    }
    SBlock block;
    if (capacity == kBlockBytes && !m_spareBlocks.empty()) {
        block.data = std::move(m_spareBlocks.back());
        m_spareBlocks.pop_back();
    } else {
        block.data = AllocatePages(capacity);
        m_freshBlocks += capacity == kBlockBytes ? 1 : 0;
    }
    block.capacity = capacity;
    block.firstRecord = m_count;
    m_blocks.push_back(std::move(block));
    return m_blocks.back().data.get();
}

void CRecordArena::Commit(std::uint32_t tick, std::uint32_t ownerId, std::uint32_t direction,
                          std::uint32_t source, std::uint32_t length) {
    SBlock& block = m_blocks.back();
    block.heads.push_back(
        SPackedHead{tick, AttributeIndex({ownerId, direction, source}), block.used});
    block.used += length;
    ++m_count;
}

void CRecordArena::Abandon() {
    if (m_blocks.size() > m_logBlocks && m_blocks.back().firstRecord == m_count) {
        m_blocks.pop_back();
    }
}

void CRecordArena::Append(std::uint32_t tick, std::uint32_t ownerId, std::uint32_t direction,
                          std::uint32_t source, std::string_view bytes) {
    const auto length = static_cast<std::uint32_t>(bytes.size());
    char* room = Reserve(length);
    if (length != 0) {
        std::memcpy(room, bytes.data(), length);
    }
    Commit(tick, ownerId, direction, source, length);
}

std::size_t CRecordArena::BlockOf(std::size_t index) const {
    // The last block whose first record is at or before `index`.
    auto it =
        std::upper_bound(m_blocks.begin(), m_blocks.end(), index,
                         [](std::size_t i, const SBlock& block) { return i < block.firstRecord; });
    return static_cast<std::size_t>(it - m_blocks.begin()) - 1;
}

SDataRecord CRecordArena::At(std::size_t index) const {
    const std::size_t b = BlockOf(index);
    if (b < m_logBlocks) {
        return m_log->At(index);
    }
    if (b < m_firstResident) {
        return SpilledAt(b, index);
    }
    const SBlock& block = m_blocks[b];
    const std::size_t local = index - block.firstRecord;
    const SPackedHead& head = block.heads[local];
    const std::uint32_t end =
        local + 1 < block.heads.size() ? block.heads[local + 1].offset : block.used;
    const SAttributes& attributes = m_attributes[head.attributes];

    SDataRecord record;
    record.kind = kDataRecordKind;
    record.sequence = static_cast<std::uint32_t>(index);
    record.tick = head.tick;
    record.ownerId = attributes.ownerId;
    record.direction = attributes.direction;
    record.source = attributes.source;
    record.length = end - head.offset;
    record.bytes = std::string_view(block.data.get() + head.offset, record.length);
    return record;
}

CRecordArena::SRun CRecordArena::ResidentRun(std::size_t index, std::uint32_t offset,
                                             std::uint32_t direction, std::size_t maxBytes) const {
    SRun run{std::string_view(), index, offset};
    if (index >= m_count || maxBytes == 0) {
        return run;
    }
    const std::size_t b = BlockOf(index);
    if (b < m_firstResident) {
        return run;
    }
    const SBlock& block = m_blocks[b];
    const std::size_t first = index - block.firstRecord;
    const std::size_t heads = block.heads.size();
    const auto endOf = [&block, heads](std::size_t local) {
        return local + 1 < heads ? block.heads[local + 1].offset : block.used;
    };
    const std::uint32_t start = block.heads[first].offset + offset;
    std::size_t local = first;
    // Records of the direction that begin before the cut at maxBytes.
    const std::uint64_t cut = std::uint64_t{start} + maxBytes;
    while (local < heads && block.heads[local].offset < cut &&
           (direction == 0 || m_attributes[block.heads[local].attributes].direction == direction)) {
        ++local;
    }
    if (local == first) {
        return run;
    }
    // [first, local) are all of the direction; take them up to maxBytes.
    std::uint32_t end = endOf(local - 1);
    if (end - start > maxBytes) {
        end = start + static_cast<std::uint32_t>(maxBytes);
    }
    run.bytes = std::string_view(block.data.get() + start, end - start);
    run.before = start;
    // The record holding the last byte taken, then the point after it.
    auto it =
        std::upper_bound(block.heads.begin() + static_cast<std::ptrdiff_t>(first),
                         block.heads.begin() + static_cast<std::ptrdiff_t>(local), end - 1,
                         [](std::uint32_t at, const SPackedHead& h) { return at < h.offset; });
    const std::size_t last = static_cast<std::size_t>(it - block.heads.begin()) - 1;
    if (end == endOf(last)) {
        run.endRecord = block.firstRecord + last + 1;
        run.endOffset = 0;
    } else {
        run.endRecord = block.firstRecord + last;
        run.endOffset = end - block.heads[last].offset;
    }
    return run;
}

std::pair<std::size_t, std::uint32_t> CRecordArena::Advance(std::size_t index, std::uint32_t offset,
                                                            std::uint64_t bytes) const {
    std::uint64_t left = bytes + offset;
    while (index < m_count) {
        const std::size_t b = BlockOf(index);
        if (b >= m_firstResident) {
            // In memory the heads give the answer by a search.
            const SBlock& block = m_blocks[b];
            const std::size_t local = index - block.firstRecord;
            const std::uint64_t target = block.heads[local].offset + left;
            if (target < block.used) {
                auto it = std::upper_bound(
                    block.heads.begin() + static_cast<std::ptrdiff_t>(local), block.heads.end(),
                    target, [](std::uint64_t at, const SPackedHead& h) { return at < h.offset; });
                const std::size_t found = static_cast<std::size_t>(it - block.heads.begin()) - 1;
                return {block.firstRecord + found,
                        static_cast<std::uint32_t>(target - block.heads[found].offset)};
            }
            left = target - block.used;
            index = BlockEnd(b);
            continue;
        }
        const std::uint32_t length = At(index).length;
        if (left < length) {
            return {index, static_cast<std::uint32_t>(left)};
        }
        left -= length;
        ++index;
    }
    return {m_count, 0};
}

const char* CRecordArena::Window(std::size_t b) const {
    if (auto it = m_windows.find(b); it != m_windows.end()) {
        return it->second.bytes;
    }
    const SBlock& block = m_blocks[b];
    std::string error;
    const char* bytes = m_spill->Map(block.fileOffset, block.fileBytes, error);
    if (bytes != nullptr) {
        m_windows.emplace(b, SWindow{bytes, block.fileOffset, block.fileBytes});
    }
    return bytes;
}

void CRecordArena::UnmapWindows() const {
    for (const auto& [b, window] : m_windows) {
        CSpillFile::Unmap(window.bytes, window.offset, window.length);
    }
    m_windows.clear();
    if (m_log) {
        m_log->DropWindows();
    }
}

std::uint64_t CRecordArena::OffsetOf(std::size_t b, const char* window, std::uint64_t from,
                                     std::size_t local) const {
    const SBlock& block = m_blocks[b];
    std::size_t at = local - local % kSparseStep;
    std::uint64_t offset = block.sparse[local / kSparseStep];
    if (m_cursor.block == b && m_cursor.local <= local && m_cursor.local >= at) {
        at = m_cursor.local;
        offset = m_cursor.offset;
    }
    // A sparse entry and the cursor always name a data record.
    offset = StepDataRecords(window, from, offset, local - at);
    m_cursor = SCursor{b, local, offset};
    return offset;
}

SDataRecord CRecordArena::SpilledAt(std::size_t b, std::size_t index) const {
    SDataRecord record;
    record.sequence = static_cast<std::uint32_t>(index);
    const SBlock& block = m_blocks[b];
    const char* window = Window(b);
    if (window == nullptr) {
        return record;  // out of address space: the record reads as empty
    }
    const std::size_t local = index - block.firstRecord;
    const char* head = window + OffsetOf(b, window, 0, local);
    record.tick = ReadLe32(head + 8);
    record.ownerId = ReadLe32(head + 12);
    record.direction = ReadLe32(head + 16);
    record.source = ReadLe32(head + 20);
    record.length = ReadLe32(head + kBinaryLogHeadSize);
    record.bytes = std::string_view(head + kRecordOverhead, record.length);
    return record;
}

void CRecordArena::AdoptLog(std::unique_ptr<CLoadedLog> log, SBinaryLogIndex index) {
    Clear();
    if (index.count == 0) {
        return;
    }
    SBlock block;
    block.fileOffset = index.first;
    m_log = std::make_unique<CAdoptedLog>(std::move(log), std::move(index), kSparseStep);
    block.fileBytes = m_log->RecordBytes();
    m_blocks.push_back(std::move(block));
    m_logBlocks = 1;
    NoteLogRecords(m_log->Count());
}

void CRecordArena::NoteLogRecords(std::size_t records) {
    m_logRecords = records;
    m_count = records;
    // Nothing of it goes to the spill file.
    m_written = records;
    m_queued = records;
    m_firstResident = m_logBlocks;
}

void CRecordArena::IndexMoreOfLog(std::uint64_t bytes, SBinaryLogLoad& result) {
    if (!IndexingLog() || m_blocks.size() != m_logBlocks) {
        return;
    }
    m_log->IndexMore(bytes, result);
    m_blocks.front().fileBytes = m_log->RecordBytes();
    NoteLogRecords(m_log->Count());
}

std::size_t CRecordArena::TakeLogCut() {
    if (!m_log) {
        return m_count;
    }
    const bool last = m_blocks.size() == m_logBlocks;
    const std::size_t kept = m_log->TakeCut(last);
    if (!last) {
        return m_count -
               (m_logRecords - kept);  // later records keep their numbers; the lost read as empty
    }
    NoteLogRecords(kept);
    return m_count;
}

bool CRecordArena::CopyAdoptedLog(const std::string& folder, std::string& error) {
    return !m_log || m_log->MoveToCopy(folder, error);
}

void CRecordArena::SetSpillTarget(SSpillTarget target) {
    const bool newFile = target.folder != m_target.folder ||
                         target.startTime != m_target.startTime ||
                         target.startTick != m_target.startTick;
    const bool spilled = m_firstResident != m_logBlocks;
    if (newFile && !spilled) {
        // Nothing depends on the old file yet: start again under the new target.
        UnmapWindows();
        m_spill.reset();
        m_written = m_logRecords;
        m_queued = m_logRecords;
        m_piecesOut = 0;
        m_spillFailed = false;
        m_spillError.clear();
        for (std::size_t b = m_logBlocks; b < m_blocks.size(); ++b) {
            m_blocks[b].sparse.clear();
            m_blocks[b].fileBytes = 0;
        }
    }
    // With segments already on disk the file stays what it is; only the budget changes.
    if (spilled) {
        target.folder = m_target.folder;
        target.startTime = m_target.startTime;
        target.startTick = m_target.startTick;
    }
    if (m_spill && target.link != m_target.link) {
        m_spill->SetLink(target.link);
    }
    m_target = std::move(target);
}

std::size_t CRecordArena::SpillSlack() const {
    return std::min(kSpillSlack, m_target.budgetBytes / 4);
}

std::size_t CRecordArena::UnwrittenBytes() const {
    std::size_t bytes = 0;
    for (std::size_t b = m_blocks.size(); b > m_logBlocks && BlockEnd(b - 1) > m_written; --b) {
        bytes += ResidentBytes(m_blocks[b - 1]);
    }
    return bytes;
}

bool CRecordArena::QueuePending(std::optional<std::chrono::steady_clock::time_point> deadline) {
    if (m_queued == m_count) {
        return true;
    }
    if (!m_spill) {
        m_spill = CSpillFile::Create(m_target.folder, m_target.startTime, m_target.startTick,
                                     m_spillError, m_target.write);
        if (!m_spill) {
            return false;
        }
        m_spill->SetLink(m_target.link);
    }
    while (m_queued < m_count && m_piecesOut < kPiecesInFlight) {
        std::unique_ptr<CSpillFile::SPiece> piece;
        if (m_freePieces.empty()) {
            piece = std::make_unique<CSpillFile::SPiece>();
            // The views point into it: it must never grow.
            piece->owned.reserve(kWriteRecords * kRecordOverhead);
        } else {
            piece = std::move(m_freePieces.back());
            m_freePieces.pop_back();
        }
        // Each record's head is encoded into the piece and its bytes go
        // from its block, which stays in memory until the piece is
        // collected: a committed record's bytes never change.
        std::string& heads = piece->owned;
        std::vector<std::string_view>& views = piece->views;
        heads.clear();
        views.clear();
        std::uint64_t offset = m_spill->Size();
        std::size_t next = m_queued;
        std::size_t bytes = 0;
        // Where each record lands is noted as it is encoded; it only counts
        // once the piece is collected (m_written), and a block is dropped
        // only when all of it has been.
        while (next < m_count && bytes < kWritePieceBytes && next - m_queued < kWriteRecords) {
            const std::size_t b = BlockOf(next);
            SBlock& block = m_blocks[b];
            const std::size_t local = next - block.firstRecord;
            if (local == 0) {
                block.fileOffset = offset;
            }
            if (local % kSparseStep == 0) {
                block.sparse.push_back(offset - block.fileOffset);
            }
            const SDataRecord record = At(next);
            const std::size_t head = heads.size();
            AppendBinaryLogHead(heads, record);
            views.emplace_back(heads.data() + head, heads.size() - head);
            views.push_back(record.bytes);
            offset += kRecordOverhead + record.length;
            bytes += kRecordOverhead + record.length;
            block.fileBytes = offset - block.fileOffset;
            ++next;
        }
        piece->endRecord = next;
        m_queued = next;
        ++m_piecesOut;
        m_spill->Queue(std::move(piece));
        if (deadline && std::chrono::steady_clock::now() >= *deadline) {
            break;
        }
    }
    return true;
}

bool CRecordArena::CollectWritten() {
    if (!m_spill) {
        return true;
    }
    std::vector<std::unique_ptr<CSpillFile::SPiece>> written;
    const bool ok = m_spill->Collect(written, m_spillError);
    for (auto& piece : written) {
        m_written = piece->endRecord;
        --m_piecesOut;
        if (m_freePieces.size() < kSparePieces) {
            m_freePieces.push_back(std::move(piece));
        }
    }
    return ok;
}

void CRecordArena::StopSpilling() {
    // What was handed out and not written stays where it is: in memory.
    m_spillFailed = true;
}

void CRecordArena::SpillStep() {
    if (!CollectWritten() || !QueuePending({})) {
        StopSpilling();
    }
}

std::size_t CRecordArena::ResidentBytes(const SBlock& block) const {
    return block.capacity + block.heads.capacity() * sizeof(SPackedHead);
}

void CRecordArena::DropOverBudget() {
    std::size_t held = ReservedBytes();
    // The last block is still being filled; it never goes.
    while (held > m_target.budgetBytes && m_firstResident + 1 < m_blocks.size() &&
           BlockEnd(m_firstResident) <= m_written) {
        const SBlock& block = m_blocks[m_firstResident];
        held -= block.heads.capacity() * sizeof(SPackedHead);
        const bool spare = block.capacity == kBlockBytes && m_spareBlocks.size() < kSpareBlocks;
        if (!spare) {
            held -= block.capacity;
        }
        DropFirstResident(spare);
    }
}

void CRecordArena::RecycleWrittenBlock() {
    if (m_target.folder.empty() || m_spillFailed || m_firstResident + 1 >= m_blocks.size() ||
        BlockEnd(m_firstResident) > m_written ||
        m_blocks[m_firstResident].capacity != kBlockBytes ||
        ReservedBytes() + kBlockBytes <= m_target.budgetBytes) {
        return;
    }
    DropFirstResident(true);
}

void CRecordArena::DropFirstResident(bool keepAsSpare) {
    SBlock& block = m_blocks[m_firstResident];
    if (keepAsSpare) {
        m_spareBlocks.push_back(std::move(block.data));  // still held, as a spare
    } else {
        block.data.reset();
    }
    block.heads = {};
    block.capacity = 0;
    block.used = 0;
    m_spilledSparseBytes += block.sparse.capacity() * sizeof(std::uint64_t);
    ++m_firstResident;
}

bool CRecordArena::FlushSpill(std::optional<std::chrono::steady_clock::time_point> deadline) {
    if (m_target.folder.empty() || m_spillFailed) {
        return true;
    }
    if (deadline) {
        if (!CollectWritten() || !QueuePending(deadline)) {
            StopSpilling();
            return false;
        }
    } else {
        // Everything, waiting for the disk (a save, a close, a long turn):
        // kPiecesInFlight at a time. A name for the sidecar is waited for too.
        do {
            if (!QueuePending({})) {
                StopSpilling();
                return false;
            }
            if (m_spill) {
                m_spill->Wait();
            }
            if (!CollectWritten()) {
                StopSpilling();
                return false;
            }
        } while (m_queued < m_count);
    }
    DropOverBudget();
    return true;
}

std::size_t CRecordArena::SpillBacklog() const {
    return m_target.folder.empty() || m_spillFailed ? 0 : UnwrittenBytes();
}

bool CRecordArena::SpillBehind() const {
    return SpillBacklog() > SpillSlack() / 2;
}

bool CRecordArena::SpillPastSlack() const {
    return SpillBacklog() > SpillSlack();
}

void CRecordArena::Clear() {
    UnmapWindows();
    // Before the blocks: its writer may still read those in flight.
    m_spill.reset();
    m_cursor = SCursor{};
    m_blocks.clear();
    m_log.reset();
    m_logBlocks = 0;
    m_logRecords = 0;
    m_spillFailed = false;
    m_spillError.clear();
    m_written = 0;
    m_queued = 0;
    m_piecesOut = 0;
    m_firstResident = 0;
    m_spilledSparseBytes = 0;
    m_spareBlocks.clear();
    m_freePieces.clear();
    m_blocks.clear();
    m_blocks.shrink_to_fit();
    m_attributes.clear();
    m_attributeIndex.clear();
    m_lastAttribute = 0;
    m_count = 0;
}

std::size_t CRecordArena::ReservedBytes() const {
    // Sealing a block and every write ask: the segments on disk, which
    // outnumber the others more and more over a long session, are counted
    // as they go there.
    std::size_t total = m_blocks.size() * sizeof(SBlock) + m_spilledSparseBytes;
    const auto count = [&](std::size_t b) {
        total += ResidentBytes(m_blocks[b]) + m_blocks[b].sparse.capacity() * sizeof(std::uint64_t);
    };
    for (std::size_t b = 0; b < m_logBlocks; ++b) {
        count(b);
    }
    for (std::size_t b = m_firstResident; b < m_blocks.size(); ++b) {
        count(b);
    }
    total += m_log ? m_log->MemoryBytes() : 0;
    total += m_spareBlocks.size() * kBlockBytes;
    return total + m_attributes.size() * sizeof(SAttributes);
}

}  // namespace quillpad
