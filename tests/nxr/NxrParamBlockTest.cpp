#include "nxr/NxrParamBlock.h"

#include <gtest/gtest.h>

#include <string>

namespace quillpad {
namespace {

ByteString Bytes(std::initializer_list<int> values) {
    ByteString out;
    for (int v : values) {
        out.push_back(static_cast<char>(v));
    }
    return out;
}

TEST(NxrParamBlock, EncodesTheExactLayout) {
    EXPECT_EQ(NxrEmptyParamBlock(), Bytes({0xFF, 0, 0, 0}));

    CNxrParamBlock block;
    block.AddInteger(500).AddText("C:/x");
    EXPECT_EQ(block.Encode(),
              Bytes({2,    0, 0, 0, 8, 0, 0, 0, 0xF4, 0x01, 0,   0,   0, 0, 0, 0,  //
                     3,    0, 0, 0, 5, 0, 0, 0, 'C',  ':',  '/', 'x', 0,           //
                     0xFF, 0, 0, 0}));

    CNxrParamBlock negative;
    negative.AddInteger(-2);
    EXPECT_EQ(negative.Encode().substr(8, 8), Bytes({0xFE, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0}));
}

TEST(NxrParamBlock, RoundTripsEveryTypeAndByteValue) {
    ByteString all;
    for (int i = 0; i < 256; ++i) {
        all.push_back(static_cast<char>(i));
    }
    CNxrParamBlock block;
    block.AddInteger(-123456789)
        .AddText("")
        .AddText("path with \xE9 and \xFF")
        .AddBlob(ENxrParamType::Blob5, all)
        .AddBlob(ENxrParamType::Blob6, "")
        .AddBlob(ENxrParamType::Blob21, ByteString(1, '\0'))
        .AddBlob(ENxrParamType::Blob22, ByteString(70000, '\xFF'));
    std::string error;
    const auto decoded = CNxrParamBlock::Decode(block.Encode(), &error);
    ASSERT_TRUE(decoded) << error;
    EXPECT_EQ(*decoded, block);
    EXPECT_EQ(decoded->IntegerAt(0), -123456789);
    EXPECT_EQ(decoded->TextAt(1), "");
    EXPECT_EQ(decoded->TextAt(2), "path with \xE9 and \xFF");
    EXPECT_EQ(decoded->Values()[3].bytes, all);
    EXPECT_EQ(decoded->IntegerAt(1), std::nullopt) << "a text is not an integer";
    EXPECT_EQ(decoded->TextAt(9), std::nullopt);
}

TEST(NxrParamBlock, TextWithAZeroIsCutAtTheZero) {
    CNxrParamBlock block;
    block.AddText(std::string("ab\0cd", 5));
    EXPECT_EQ(block.TextAt(0), "ab");
    EXPECT_TRUE(CNxrParamBlock::Decode(block.Encode(), nullptr));
}

TEST(NxrParamBlock, RejectsMalformedBlocksWithoutReadingPastTheEnd) {
    const ByteString good = CNxrParamBlock().AddInteger(7).AddText("ab").Encode();
    // Every truncation of a valid block is rejected.
    for (std::size_t n = 0; n < good.size(); ++n) {
        std::string error;
        EXPECT_FALSE(CNxrParamBlock::Decode(good.substr(0, n), &error)) << n;
        EXPECT_FALSE(error.empty());
    }
    struct SCase {
        ByteString bytes;
        std::string words;
    } cases[] = {
        {Bytes({7, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0, 0, 0}), "unknown value type 7"},
        {Bytes({5, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0}), "claims 4294967295"},
        {Bytes({2, 0, 0, 0, 4, 0, 0, 0, 1, 0, 0, 0, 0xFF, 0, 0, 0}), "instead of 8"},
        {Bytes({3, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0, 0, 0}), "zero-terminated"},
        {Bytes({3, 0, 0, 0, 2, 0, 0, 0, 'a', 'b', 0xFF, 0, 0, 0}), "zero-terminated"},
        {Bytes({3, 0, 0, 0, 3, 0, 0, 0, 0, 'b', 0, 0xFF, 0, 0, 0}), "zero-terminated"},
        {Bytes({0xFF, 0, 0, 0, 1}), "stray bytes"},
        {Bytes({0xFE, 0, 0, 0}), "unknown value type 254"},
    };
    for (const auto& c : cases) {
        std::string error;
        EXPECT_FALSE(CNxrParamBlock::Decode(c.bytes, &error)) << c.words;
        EXPECT_NE(error.find(c.words), std::string::npos) << error;
    }
}

}  // namespace
}  // namespace quillpad
