#pragma once
// Saves a file in child processes and kills each in the middle of its save:
// by SIGKILL at a random moment, or as its writing passes a random byte.
// After every kill the file must be the old version or the new one, byte for
// byte.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <thread>

#include "tests/platform/ChildProcess.h"
#include "tests/support/TempDir.h"

namespace quillpad::test {

// A folder for the saves, in memory (/dev/shm) where there is one: what a
// kill can break is the same there, and a save does not wait for the disk,
// so a few hundred kills take seconds. Removed with its files afterwards.
class CSaveFolder {
  public:
    CSaveFolder() {
        std::error_code ec;
        const std::filesystem::path base = std::filesystem::is_directory("/dev/shm", ec)
                                               ? std::filesystem::path("/dev/shm")
                                               : std::filesystem::temp_directory_path();
        std::string pattern = (base / "quillpad-saves-XXXXXX").string();
        if (::mkdtemp(pattern.data()) != nullptr) {
            m_path = pattern;
        }
    }
    ~CSaveFolder() {
        std::error_code ec;
        if (!m_path.empty()) {
            std::filesystem::remove_all(m_path, ec);
        }
    }
    CSaveFolder(const CSaveFolder&) = delete;
    CSaveFolder& operator=(const CSaveFolder&) = delete;

    bool Made() const { return !m_path.empty(); }
    std::string File(const std::string& name) const { return m_path + "/" + name; }

  private:
    std::string m_path;
};

// Kills per file: `fallback` keeps `make test` short; QUILLPAD_KILL_ROUNDS
// asks for a longer run.
inline int KillRounds(int fallback) {
    const char* asked = std::getenv("QUILLPAD_KILL_ROUNDS");
    return asked != nullptr && std::atoi(asked) > 0 ? std::atoi(asked) : fallback;
}

struct SKilledSaves {
    int rounds = 0;
    int oldKept = 0;   // killed before the new file took the old one's place
    int newWhole = 0;  // the new file was in place when the kill came
};

// `save(v)` writes version v (0 or 1) of the file at `path`, the program's own
// way; it must give the same bytes whatever version was there before. The
// kills land between the child's start of the save and a little past its
// usual end, so both outcomes occur.
inline SKilledSaves KillWhileSaving(const std::string& path,
                                    const std::function<bool(int version)>& save, int rounds,
                                    unsigned seed) {
    SKilledSaves result;
    std::string versions[2];
    for (int pass = 0; pass < 2; ++pass) {
        for (int v = 0; v < 2; ++v) {
            EXPECT_TRUE(save(v)) << "version " << v << " cannot be saved";
            const std::string bytes = ReadFileBytes(path);
            if (pass == 0) {
                versions[v] = bytes;
            } else {
                EXPECT_EQ(bytes.size(), versions[v].size()) << "version " << v << " differs";
                EXPECT_TRUE(bytes == versions[v]) << "version " << v << " differs";
            }
        }
    }
    EXPECT_NE(versions[0], versions[1]);
    struct stat before {};
    EXPECT_EQ(::stat(path.c_str(), &before), 0);

    // The child says on the pipe when its save begins and when it ended; the
    // parent times the save alone, not the fork or the exit.
    const auto runChild = [&](int version, std::chrono::microseconds killAfter, bool kill,
                              rlim_t sizeLimit = RLIM_INFINITY) {
        int pipe[2];
        EXPECT_EQ(::pipe(pipe), 0);
        const pid_t pid = StartChild([&] {
            ::close(pipe[0]);
            if (sizeLimit != RLIM_INFINITY) {
                LimitFileSize(sizeLimit, true);
            }
            const char mark = 'm';
            if (::write(pipe[1], &mark, 1) != 1) {
                return 2;
            }
            const bool saved = save(version);
            return ::write(pipe[1], &mark, 1) == 1 && saved ? 0 : 1;
        });
        ::close(pipe[1]);
        char mark = 0;
        const bool started = ::read(pipe[0], &mark, 1) == 1;
        const auto start = std::chrono::steady_clock::now();
        if (kill && started) {
            std::this_thread::sleep_for(killAfter);
            ::kill(pid, SIGKILL);
        } else if (started) {
            // Ends with the save, or empty when the size limit killed it.
            const bool ended = ::read(pipe[0], &mark, 1) == 1;
            EXPECT_TRUE(ended || sizeLimit != RLIM_INFINITY) << "the save did not end";
        }
        const auto took = std::chrono::steady_clock::now() - start;
        ::close(pipe[0]);
        const int status = WaitChild(pid);
        if (!kill && sizeLimit == RLIM_INFINITY) {
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the save failed";
        }
        return took;
    };

    // How long a save takes here, so that the kills cover it.
    auto longest = std::chrono::steady_clock::duration::zero();
    for (int i = 0; i < 4; ++i) {
        longest = std::max(longest, runChild(i % 2, {}, false));
    }
    const auto span = std::chrono::duration_cast<std::chrono::microseconds>(longest) * 5 / 4 +
                      std::chrono::microseconds(50);

    std::mt19937 gen(seed);
    std::uniform_int_distribution<long> delay(0, span.count());
    // Half the kills come at a random moment, half at a random byte of the
    // file's write (SIGXFSZ as the write passes a file size limit).
    std::uniform_int_distribution<std::size_t> byte(
        0, std::max(versions[0].size(), versions[1].size()));
    int current = 1;  // the calibration ended with version 1
    for (int round = 0; round < rounds; ++round) {
        const int next = 1 - current;
        if (round % 2 == 0) {
            runChild(next, std::chrono::microseconds(delay(gen)), true);
        } else {
            runChild(next, {}, false, static_cast<rlim_t>(byte(gen)));
        }
        const std::string now = ReadFileBytes(path);
        ++result.rounds;
        if (now == versions[current]) {
            ++result.oldKept;
        } else if (now == versions[next]) {
            ++result.newWhole;
            current = next;
        } else {
            ADD_FAILURE() << "after kill " << round + 1 << " the file is neither version ("
                          << now.size() << " bytes; the versions have " << versions[current].size()
                          << " and " << versions[next].size() << ")";
            return result;
        }
    }
    struct stat after {};
    EXPECT_EQ(::stat(path.c_str(), &after), 0);
    EXPECT_EQ(after.st_mode & 07777, before.st_mode & 07777) << "the file's mode changed";
    return result;
}

}  // namespace quillpad::test
