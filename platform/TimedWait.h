#pragma once
// Condition-variable waits that ThreadSanitizer can follow.
//
// libstdc++ waits inside its own library (steady-clock waits through
// pthread_cond_clockwait), and ThreadSanitizer, as GCC 12 ships it, does not
// see the mutex released and taken again there: it then reports the reads
// after every wait as races. Under ThreadSanitizer these helpers call
// pthread_cond_wait and pthread_cond_timedwait from our own code, which it
// intercepts; the deadline is still kept on the steady clock. Elsewhere they
// are the standard waits.

#include <chrono>
#include <condition_variable>
#include <mutex>

#if defined(__SANITIZE_THREAD__)
#include <pthread.h>

#include <ctime>
#endif

namespace quillpad {

inline void Wait(std::condition_variable& changed, std::unique_lock<std::mutex>& lock) {
#if defined(__SANITIZE_THREAD__)
    pthread_cond_wait(changed.native_handle(), lock.mutex()->native_handle());
#else
    changed.wait(lock);
#endif
}

inline std::cv_status WaitUntil(std::condition_variable& changed,
                                std::unique_lock<std::mutex>& lock,
                                std::chrono::steady_clock::time_point deadline) {
#if defined(__SANITIZE_THREAD__)
    const auto left = deadline - std::chrono::steady_clock::now();
    const auto until = std::chrono::system_clock::now() +
                       std::chrono::duration_cast<std::chrono::system_clock::duration>(left);
    const auto ns =
        std::chrono::duration_cast<std::chrono::nanoseconds>(until.time_since_epoch()).count();
    timespec at{};
    at.tv_sec = static_cast<time_t>(ns / 1000000000);
    at.tv_nsec = static_cast<long>(ns % 1000000000);
    pthread_cond_timedwait(changed.native_handle(), lock.mutex()->native_handle(), &at);
    return std::chrono::steady_clock::now() >= deadline ? std::cv_status::timeout
                                                        : std::cv_status::no_timeout;
#else
    return changed.wait_until(lock, deadline);
#endif
}

// Waits until `done()` holds.
template <class Predicate>
void Wait(std::condition_variable& changed, std::unique_lock<std::mutex>& lock, Predicate done) {
    while (!done()) {
        Wait(changed, lock);
    }
}

// Waits until `done()` holds or the deadline passes; the last answer of `done()`.
template <class Predicate>
bool WaitUntil(std::condition_variable& changed, std::unique_lock<std::mutex>& lock,
               std::chrono::steady_clock::time_point deadline, Predicate done) {
    while (!done()) {
        if (WaitUntil(changed, lock, deadline) == std::cv_status::timeout) {
            return done();
        }
    }
    return true;
}

}  // namespace quillpad
