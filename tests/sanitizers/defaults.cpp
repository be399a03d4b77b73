// Default options of the sanitizer runtimes, linked into every program of a
// sanitizer build. Options in the environment (ASAN_OPTIONS and the like) are
// read after these and win.
//
// Any report stops the program with exit status 66, which no program of ours
// uses, so a test that expects a tool's own failure status (1, 2) is never
// satisfied by a sanitizer's report instead. The suppression
// files hold only reports that lie wholly inside libraries we do not build
// (GLib, GTK+, fontconfig and their kin); a report that involves our code is
// never suppressed.

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)

#include <stdlib.h>

#if defined(__SANITIZE_ADDRESS__)
// GLib's slice allocator hands out objects (every GObject among them) from
// large chunks that stay reachable, which would hide a lost object from
// LeakSanitizer. Plain malloc per object lets it see each one. Runs before
// main, before GLib reads the variable; a value set by hand wins.
__attribute__((constructor)) static void use_plain_malloc_for_glib_slices()
{
    setenv("G_SLICE", "always-malloc", 0);
}
#endif

extern "C" {

#if defined(__SANITIZE_ADDRESS__)
const char *__asan_default_options()
{
    // Whole allocation stacks (the slow unwinder: GTK+ and GLib are built
    // without frame pointers), so that a leak suppression can name the
    // library function that allocated and never a frame of ours above it.
    return "halt_on_error=1:abort_on_error=0:exitcode=66:detect_leaks=1:detect_stack_use_after_return=1:"
           "check_initialization_order=1:strict_init_order=1:fast_unwind_on_malloc=0";
}

const char *__ubsan_default_options()
{
    return "halt_on_error=1:exitcode=66:print_stacktrace=1";
}

const char *__lsan_default_options()
{
    return "exitcode=66:suppressions=" ZR7K8_SANITIZER_DIR "/lsan.supp:print_suppressions=0";
}
#endif

#if defined(__SANITIZE_THREAD__)
// ThreadSanitizer cannot see GLib's futex-based locks, so the bookkeeping that
// GLib does under them (its main-loop queue and tables, allocated on one
// thread and freed on another) reads as races. ignore_noninstrumented_modules
// keeps the interceptors (malloc, free, memcpy) that uninstrumented libraries
// call from reporting races; synchronisation they do is still seen, and every
// access made by our own code is still checked. Our own hand-overs through
// GLib are marked in src/core/thread_annotations.h and src/core/link/handoff.cpp.
const char *__tsan_default_options()
{
    return "halt_on_error=1:exitcode=66:second_deadlock_stack=1:ignore_noninstrumented_modules=1:"
           "suppressions=" ZR7K8_SANITIZER_DIR "/tsan.supp:print_suppressions=0";
}
#endif

}  // extern "C"

#endif
