#include "nxr/NxrLib.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "platform/Paths.h"
#include "tests/support/TempDir.h"

namespace quillpad {
namespace {

TEST(NxrAbilityGroups, TableEndsWithTheMarkAndHoldsTheDefaultKeySetGroups) {
    const auto& table = CEnumWrapper<EAbilityGroup, SAbilityGroupInfo>::m_vectInfo;
    ASSERT_FALSE(table.empty());
    EXPECT_EQ(static_cast<std::uint32_t>(table.back().value), 0xFFFFFFFFu);
    for (const char* name : {"DevInfo", "Firmware", "SystemClock", "Program", "SerialComm"}) {
        const auto group = FindAbilityGroup(name);
        ASSERT_TRUE(group) << name;
        EXPECT_STREQ(AbilityGroupInfo(*group)->name, name);
    }
    EXPECT_EQ(FindAbilityGroup("devinfo"), EAbilityGroup::DevInfo) << "letter case is ignored";
    EXPECT_EQ(FindAbilityGroup("SERIALCOMM"), EAbilityGroup::SerialComm);
    EXPECT_EQ(FindAbilityGroup("DevInfo2"), std::nullopt);
    EXPECT_EQ(FindAbilityGroup(""), std::nullopt) << "the end mark is no group";
}

TEST(NxrLib, InstallPathFitsOrFailsWithoutOverflow) {
    const std::string expected = WorkbayInstallPath();
    char buffer[260];
    ASSERT_TRUE(NxrGetWorkbayInstallPath(buffer, sizeof buffer));
    EXPECT_EQ(std::string(buffer), expected);
    std::string small(expected.size() + 8, '#');
    EXPECT_FALSE(NxrGetWorkbayInstallPath(small.data(), expected.size()));
    EXPECT_EQ(small[0], '\0');
    EXPECT_EQ(small[expected.size()], '#') << "nothing written past the given size";
    EXPECT_FALSE(NxrGetWorkbayInstallPath(nullptr, 10));
}

class CFixedErrors final : public INxrSession2 {
  public:
    void Advise(INxrSessionEvents*) override {}
    std::int32_t Open(const WideString&, const WideString&, NxrHandle*) override { return 0; }
    std::int32_t Close(NxrHandle*) override { return 0; }
    std::int32_t RequestWait(std::uint32_t, const ByteString&, ByteString*, std::int32_t,
                             std::int32_t, NxrHandle*) override {
        return 0;
    }
    std::int32_t Request(std::uint32_t, const ByteString&, std::int32_t, std::uint32_t*,
                         const WideString*, std::int32_t, NxrHandle*) override {
        return 0;
    }
    std::int32_t Ability(std::int32_t, const WideString&, std::int32_t, std::uint32_t*,
                         std::int32_t, std::int32_t, NxrHandle*) override {
        return 0;
    }
    std::int32_t Cancel(std::uint32_t, std::int32_t, NxrHandle*) override { return 0; }
    std::int32_t Send(const WideString&, std::int32_t, NxrHandle*) override { return 0; }
    std::int32_t AbilityInfo(std::uint32_t*, std::uint32_t*, NxrHandle*) override { return 0; }
    std::int32_t SetOption(std::uint32_t, std::int32_t, NxrHandle*) override { return 0; }
    std::int32_t SetTextSetting(const WideString&) override { return 0; }
    std::string ErrorText(std::uint32_t id) const override {
        return id == 3 ? "connection refused by 127.0.0.1:2323" : "";
    }
    std::uint16_t ConnectionStatus() const override { return 1; }
};

TEST(NxrLib, StandardErrorTextIsNeverEmpty) {
    CFixedErrors session;
    EXPECT_EQ(NxrStandardErrorText(&session, 3), "connection refused by 127.0.0.1:2323");
    EXPECT_NE(NxrStandardErrorText(&session, 4).find("Request 4 failed"), std::string::npos);
    EXPECT_FALSE(NxrStandardErrorText(&session, 0).empty());
    EXPECT_FALSE(NxrStandardErrorText(nullptr, 0).empty());
}

TEST(NxrLib, UserGuideIsFoundWithEveryTopicTheConsoleUses) {
    const std::string guide = NxrFindUserGuide(QUILLPAD_SOURCE_DIR "/build/x/y");
    ASSERT_FALSE(guide.empty());
    std::ifstream in(guide);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // Each dialog adds its topic here when it is built.
    for (int topic : {1007}) {
        EXPECT_NE(text.find("id=\"" + NxrHelpAnchor(topic) + "\""), std::string::npos) << topic;
    }

    test::CTempDir dir;
    setenv("QUILLPAD_DOCS_DIR", dir.Path().c_str(), 1);
    EXPECT_EQ(NxrFindUserGuide(""), "") << "an empty docs folder holds no guide";
    std::ofstream(dir.File("USER_GUIDE.md")) << "# guide\n";
    EXPECT_EQ(NxrFindUserGuide(""), dir.File("USER_GUIDE.md"));
    unsetenv("QUILLPAD_DOCS_DIR");
}

}  // namespace
}  // namespace quillpad
