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
    return "halt_on_error=1:second_deadlock_stack=1";
}

const char* __tsan_default_suppressions() {
    return "called_from_lib:libQt6Core\ncalled_from_lib:libQt6Network\n"
           "called_from_lib:libQt6SerialPort\ncalled_from_lib:libglib\n";
}

}  // extern "C"
