// Test entry point. Every test process gets its own install path, data and
// config folders, so no test ever touches the user's home.

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "tests/support/TempDir.h"

#ifdef QUILLPAD_QT_TESTS
#include <QApplication>
#endif

int main(int argc, char** argv) {
    auto home = std::make_unique<quillpad::test::CTempDir>();
    setenv("WORKBAY_HOME", home->File("workbay").c_str(), 1);
    setenv("XDG_DATA_HOME", home->File("data").c_str(), 1);
    setenv("XDG_CONFIG_HOME", home->File("config").c_str(), 1);
    setenv("XDG_CACHE_HOME", home->File("cache").c_str(), 1);
    setenv("HOME", home->Path().c_str(), 1);
    // Where tests and the tools they start find the trees.
    setenv("QUILLPAD_SOURCE_DIR", QUILLPAD_SOURCE_DIR, 1);
    setenv("QUILLPAD_BINARY_DIR", QUILLPAD_BINARY_DIR, 1);
    ::testing::InitGoogleTest(&argc, argv);
    int result = 0;
#ifdef QUILLPAD_QT_TESTS
    {
        if (std::getenv("QT_QPA_PLATFORM") == nullptr) {
            setenv("QT_QPA_PLATFORM", "offscreen", 1);
        }
        QApplication app(argc, argv);
        result = RUN_ALL_TESTS();
    }
#else
    result = RUN_ALL_TESTS();
#endif
    home.reset();
    return result;
}
