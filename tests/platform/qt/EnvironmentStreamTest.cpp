#include "platform/qt/EnvironmentStream.h"

#include <gtest/gtest.h>

#include <memory>

namespace quillpad {
namespace {

TEST(EnvironmentStream, ATokenGivesItsObjectOnceAndNothingWhenStale) {
    auto environment = std::make_unique<QObject>();
    const std::int32_t token = MarshalEnvironment(environment.get());
    ASSERT_GT(token, 0);
    const std::int32_t other = MarshalEnvironment(environment.get());
    EXPECT_NE(other, token);
    EXPECT_EQ(UnmarshalEnvironment(token), environment.get());
    EXPECT_EQ(UnmarshalEnvironment(token), nullptr) << "a stream is read once";
    EXPECT_EQ(UnmarshalEnvironment(12345), nullptr);
    EXPECT_EQ(UnmarshalEnvironment(0), nullptr);
    environment.reset();
    EXPECT_EQ(UnmarshalEnvironment(other), nullptr) << "the object went";
    EXPECT_EQ(MarshalEnvironment(nullptr), 0);
}

}  // namespace
}  // namespace quillpad
