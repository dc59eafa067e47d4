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

}  // extern "C"
