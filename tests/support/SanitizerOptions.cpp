// Sanitizer settings built into every test program, so they hold however the
// program is started (ctest, a debugger, by hand).

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

// ThreadSanitizer (the I/O tests): Qt's own libraries are not instrumented,
// so the order their mutexes and atomics give is invisible to it; races
// reported wholly inside them are theirs to prove, not ours.
const char* __tsan_default_options() {
    // The tests start the simulator program with fork and exec.
    return "halt_on_error=1:second_deadlock_stack=1:die_after_fork=0";
}

const char* __tsan_default_suppressions() {
    // A queued call's functor is written by the caller and read by the
    // receiving thread; Qt's event queue orders the two, out of sight.
    return "called_from_lib:libQt6Core\ncalled_from_lib:libQt6Network\n"
           "called_from_lib:libQt6SerialPort\ncalled_from_lib:libglib\n"
           "race:qobjectdefs_impl.h\nrace:QMetaCallEvent\n";
}

}  // extern "C"
