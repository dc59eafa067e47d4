#include "nxr/NxrLib.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

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

// Where the rendered guide is looked for, in order: the folder the
// environment names, the installed doc folder, then a build tree's docs/.
TEST(NxrLib, UserGuideIsFoundWhereItIsInstalledOrBuilt) {
    namespace fs = std::filesystem;
    test::CTempDir dir;
    unsetenv("QUILLPAD_DOCS_DIR");
    fs::create_directories(dir.File("usr/bin"));
    fs::create_directories(dir.File("usr/share/doc/quillpad"));
    EXPECT_EQ(NxrFindUserGuide(dir.File("usr/bin")), "") << "no guide there yet";
    // The Markdown source is not what the help window shows.
    test::WriteFileBytes(dir.File("usr/share/doc/quillpad/USER_GUIDE.md"), "# guide\n");
    EXPECT_EQ(NxrFindUserGuide(dir.File("usr/bin")), "");
    test::WriteFileBytes(dir.File("usr/share/doc/quillpad/USER_GUIDE.html"), "<html/>");
    EXPECT_EQ(NxrFindUserGuide(dir.File("usr/bin")),
              fs::canonical(dir.File("usr/share/doc/quillpad/USER_GUIDE.html")).string());

    // A program of a build tree, two folders below the tree's docs/.
    fs::create_directories(dir.File("build/tools/console"));
    fs::create_directories(dir.File("build/docs"));
    EXPECT_EQ(NxrFindUserGuide(dir.File("build/tools/console")), "");
    test::WriteFileBytes(dir.File("build/docs/USER_GUIDE.html"), "<html/>");
    EXPECT_EQ(NxrFindUserGuide(dir.File("build/tools/console")),
              fs::canonical(dir.File("build/docs/USER_GUIDE.html")).string());

    // The environment's folder first, and only when it holds a guide.
    fs::create_directories(dir.File("elsewhere"));
    setenv("QUILLPAD_DOCS_DIR", dir.File("elsewhere").c_str(), 1);
    EXPECT_EQ(NxrFindUserGuide(dir.File("usr/bin")),
              fs::canonical(dir.File("usr/share/doc/quillpad/USER_GUIDE.html")).string());
    EXPECT_EQ(NxrFindUserGuide(""), "") << "an empty docs folder holds no guide";
    test::WriteFileBytes(dir.File("elsewhere/USER_GUIDE.html"), "<html/>");
    EXPECT_EQ(NxrFindUserGuide(dir.File("usr/bin")),
              fs::canonical(dir.File("elsewhere/USER_GUIDE.html")).string());
    unsetenv("QUILLPAD_DOCS_DIR");
}

}  // namespace
}  // namespace quillpad
