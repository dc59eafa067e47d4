#include "nxr/CNxrAbilityJob.h"

#include <gtest/gtest.h>

namespace quillpad {
namespace {

TEST(AbilityJob, ASilentDeviceTimesOutEvenAcrossTheTickWrap) {
    const std::uint32_t start = 0xFFFFFF00u;
    CNxrAbilityJob job("Firmware", 1000, start);
    EXPECT_EQ(job.TakeOutput(), "Firmware\r");
    job.Tick(start + 999);
    EXPECT_FALSE(job.Finished());
    // A byte from the device gives it the time again.
    job.Feed("F", start + 900);
    job.Tick(start + 1500);
    EXPECT_FALSE(job.Finished());
    job.Tick(start + 1900);
    ASSERT_TRUE(job.Finished());
    EXPECT_FALSE(job.Succeeded());
    EXPECT_EQ(job.ErrorText(), "the device did not answer \"Firmware\" within 1000 ms");
    EXPECT_EQ(job.TakeData(), "F");  // what came is still shown

    // A command's bytes outside printable ASCII are quoted as escapes, so
    // the error text stays one encoding whatever the device was sent.
    CNxrAbilityJob odd("Tr\xE9s\x01", 10, 0);
    odd.Cancel();
    EXPECT_EQ(odd.ErrorText(), "\"Tr\\xE9s\\x01\" was cancelled");
}

TEST(AbilityJob, APromptStillOwedForAnEarlierLineDoesNotEndTheAbility) {
    CNxrAbilityJob job("ProgramStop", 1000, 0);
    job.Feed("\r\n> ProgramStop\r\nQUERY 1: Stop?\r\n", 0);
    EXPECT_FALSE(job.Finished());
    ASSERT_EQ(job.TakeEvents().size(), 1u);
    job.Answer(std::string("yes"), 0);
    job.Feed("yes\r\nProgram stopped\r\n> ", 0);
    ASSERT_TRUE(job.Finished());
    EXPECT_EQ(job.AnswerText(), "Program stopped\n");
    EXPECT_EQ(job.TakeData(), "\r\n> ProgramStop\r\nyes\r\nProgram stopped\r\n> ");

    // A device that says nothing but its prompt has not answered.
    CNxrAbilityJob silent("Nothing", 1000, 0);
    silent.Feed("\r\n> ", 0);
    silent.Tick(1000);
    EXPECT_FALSE(silent.Succeeded());
}

TEST(AbilityJob, LinesThatOnlyLookLikeTheProtocolAreDataAndWhatFollowsThePromptIsNotTaken) {
    CNxrAbilityJob job("X", 1000, 0);
    const std::string_view device =
        "QUERY without a type\r\nPROGRESSIVE\r\nPROGRESS ab c\r\n>not a prompt\r\n> typed";
    const std::size_t used = job.Feed(device, 0);
    ASSERT_TRUE(job.Finished());
    EXPECT_TRUE(job.Succeeded());
    EXPECT_EQ(device.substr(used), "typed");
    EXPECT_EQ(job.TakeData(), device.substr(0, used));
    EXPECT_TRUE(job.TakeEvents().empty());
    EXPECT_EQ(job.AnswerText(),
              "QUERY without a type\nPROGRESSIVE\nPROGRESS ab c\n>not a prompt\n");
    // A finished job takes nothing more.
    EXPECT_EQ(job.Feed("more", 1), 0u);
}

TEST(AbilityJob, AnEndlessProtocolLookingLineIsLetThroughAndALostLinkEndsTheJob) {
    CNxrAbilityJob job("X", 1000, 0);
    const std::string line = "QUERY " + std::string(CNxrAbilityJob::kMaxLine, '?') + "\n";
    job.Feed(line, 0);
    EXPECT_EQ(job.TakeData(), line);
    job.Feed("QUERY 2", 0);  // held: it may still become a question
    EXPECT_TRUE(job.TakeData().empty());
    job.LinkLost("the cable");
    EXPECT_EQ(job.TakeData(), "QUERY 2");
    EXPECT_EQ(job.ErrorText(), "\"X\" ended: the cable");
    EXPECT_TRUE(job.TakeEvents().empty());
}

}  // namespace
}  // namespace quillpad
