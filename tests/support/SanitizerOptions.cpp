// Sanitizer settings built into every test program, so they hold however the
// program is started (ctest, a debugger, by hand).

#if defined(__SANITIZE_THREAD__)
#include <dlfcn.h>
#include <sched.h>

#include <cstdarg>
#include <cstdlib>
#endif

extern "C" {

const char* __asan_default_options() {
    return "detect_leaks=1:strict_string_checks=1:detect_stack_use_after_return=1";
}

const char* __ubsan_default_options() {
    return "print_stacktrace=1:halt_on_error=1";
}

// Leaks inside system libraries that Qt loads (fontconfig, D-Bus, GLib).
const char* __lsan_default_suppressions() {
    return "leak:libfontconfig\nleak:libdbus\nleak:libglib\n";
}

const char* __tsan_default_options() {
    return "halt_on_error=1:second_deadlock_stack=1";
}

// Qt is not instrumented: a queued call's functor is written by the thread
// that posts it, then read and freed by the receiver, ordered by Qt's event
// queue lock and the functor's reference count, both out of sight.
const char* __tsan_default_suppressions() {
    // The poster allocates the event and may drop the functor's last reference;
    // the functor itself is allocated by the inline invokeMethod template.
    return "race:QMetaObject::invokeMethodImpl\n"
           "race:QtCore/qobjectdefs.h\n";
}

#if defined(__SANITIZE_THREAD__)
// QProcess starts a program with clone(CLONE_VM | CLONE_VFORK): the child runs
// in our memory on the calling thread's ThreadSanitizer state, and the
// sanitizer's clone hook then leaves that thread ignoring its own locks for
// good. Without CLONE_VM the child has its own copy, which the hook handles
// as a fork, as the sanitizer itself treats vfork.
int clone(int (*fn)(void*), void* stack, int flags, void* arg, ...) noexcept {
    using Clone = int (*)(int (*)(void*), void*, int, void*, ...);
    static const auto next = reinterpret_cast<Clone>(dlsym(RTLD_NEXT, "clone"));
    if (next == nullptr) {
        abort();
    }
    va_list rest;
    va_start(rest, arg);
    auto* parentTid = va_arg(rest, pid_t*);
    auto* tls = va_arg(rest, void*);
    auto* childTid = va_arg(rest, pid_t*);
    va_end(rest);
    if ((flags & (CLONE_VM | CLONE_VFORK)) == (CLONE_VM | CLONE_VFORK)) {
        flags &= ~CLONE_VM;
    }
    return next(fn, stack, flags, arg, parentTid, tls, childTid);
}
#endif

}  // extern "C"
