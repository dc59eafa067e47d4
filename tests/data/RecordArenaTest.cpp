#include <gtest/gtest.h>

#include <string>

#include "data/RecordArena.h"

namespace quillpad {
namespace {

std::string Pattern(std::size_t size, std::size_t seed) {
    std::string s(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        s[i] = static_cast<char>((i * 31 + seed * 7) & 0xFF);
    }
    return s;
}

TEST(RecordArena, MixedSizesKeepTheirBytesAndFieldsAcrossBlocks) {
    CRecordArena arena;
    const std::size_t block = CRecordArena::kBlockBytes;
    // Small, empty, a quarter block, more than a block, then small ones that
    // must start a fresh block after the large one.
    const std::size_t sizes[] = {64, 0, block / 4, block / 4 + 1, 3 * block, 1, 0, 700'000, 64};
    std::size_t n = 0;
    for (const std::size_t size : sizes) {
        arena.Append(static_cast<std::uint32_t>(n * 10), static_cast<std::uint32_t>(n % 3),
                     1 + n % 2, 1 + n % 2, Pattern(size, n));
        ++n;
    }
    // Enough small records to need more than one head page.
    for (; n < 10'000; ++n) {
        arena.Append(static_cast<std::uint32_t>(n * 10), static_cast<std::uint32_t>(n % 3),
                     1 + n % 2, 1 + n % 2, Pattern(n % 97, n));
    }
    ASSERT_EQ(arena.Count(), n);
    for (std::size_t i = 0; i < n; ++i) {
        const SDataRecord r = arena.At(i);
        const std::size_t size = i < std::size(sizes) ? sizes[i] : i % 97;
        ASSERT_EQ(r.length, size) << i;
        ASSERT_EQ(r.bytes, Pattern(size, i)) << i;
        ASSERT_EQ(r.sequence, i);
        ASSERT_EQ(r.tick, i * 10);
        ASSERT_EQ(r.ownerId, i % 3);
        ASSERT_EQ(r.direction, 1 + i % 2);
    }
}

TEST(RecordArena, AbandonedReservationLeavesNoRecordAndNoBlock) {
    CRecordArena arena;
    arena.Append(1, 0, 1, 1, "abc");
    const std::size_t before = arena.ReservedBytes();
    arena.Reserve(8 * 1024 * 1024);
    arena.Abandon();
    EXPECT_EQ(arena.ReservedBytes(), before);
    arena.Append(2, 0, 1, 1, "def");
    ASSERT_EQ(arena.Count(), 2u);
    EXPECT_EQ(arena.At(0).bytes, "abc");
    EXPECT_EQ(arena.At(1).bytes, "def");
}

TEST(RecordArena, ClearFreesEveryBlockAndStartsAgainFromIndexZero) {
    CRecordArena arena;
    for (int i = 0; i < 50'000; ++i) {
        arena.Append(static_cast<std::uint32_t>(i), static_cast<std::uint32_t>(i), 1, 1,
                     std::string(64, 'x'));
    }
    arena.Clear();
    EXPECT_EQ(arena.Count(), 0u);
    EXPECT_EQ(arena.ReservedBytes(), 0u);
    arena.Append(5, 77, 2, 2, "again");
    EXPECT_EQ(arena.At(0).bytes, "again");
    EXPECT_EQ(arena.At(0).ownerId, 77u);
}

}  // namespace
}  // namespace quillpad
