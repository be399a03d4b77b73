// Happens-before hints for ThreadSanitizer.
//
// GLib's GMutex and main-loop queue synchronise with futexes that
// ThreadSanitizer cannot see, so it would report the data they protect as
// raced. Code that hands memory across threads through GLib marks the hand-over
// with these calls; in other builds they compile to nothing.
#pragma once

#include <glib.h>

#if defined(__SANITIZE_THREAD__)
extern "C" void __tsan_acquire(void *address);
extern "C" void __tsan_release(void *address);
inline void thread_annotate_acquire(const void *address) { __tsan_acquire(const_cast<void *>(address)); }
inline void thread_annotate_release(const void *address) { __tsan_release(const_cast<void *>(address)); }
#else
inline void thread_annotate_acquire(const void *) {}
inline void thread_annotate_release(const void *) {}
#endif

// g_mutex_lock/g_mutex_unlock with the hints above.
inline void annotated_mutex_lock(GMutex *mutex)
{
    g_mutex_lock(mutex);
    thread_annotate_acquire(mutex);
}

inline void annotated_mutex_unlock(GMutex *mutex)
{
    thread_annotate_release(mutex);
    g_mutex_unlock(mutex);
}
