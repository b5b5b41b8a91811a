#pragma once

#include <memory>
#include <utility>

#include <QMetaObject>
#include <QObject>

#if defined(__SANITIZE_THREAD__)
#define KESTREL_THREAD_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define KESTREL_THREAD_SANITIZER 1
#endif
#endif
#ifdef KESTREL_THREAD_SANITIZER
#include <sanitizer/tsan_interface.h>
extern "C" void __tsan_ignore_thread_begin();
extern "C" void __tsan_ignore_thread_end();
#endif

namespace base {

// Runs `work` later on the thread of `target`, through its event queue: the
// one way our threads hand results to an event loop. Everything written
// before the call is visible to `work`. Qt's queue guarantees that with locks
// of its own, which ThreadSanitizer cannot see (Qt is not built with it);
// in such a build the handoff is announced to it explicitly.
template <class Work> bool postQueued(QObject *target, Work &&work)
{
#ifdef KESTREL_THREAD_SANITIZER
    // Everything written so far is released to the call. Qt then moves the
    // call into its queue with its own locking; those stores are left out of
    // the checker's view, as they are ordered by the same release.
    auto handoff = std::make_shared<char>();
    auto call = [handoff, work = std::forward<Work>(work)]() mutable {
        __tsan_acquire(handoff.get());
        work();
    };
    __tsan_release(handoff.get());
    __tsan_ignore_thread_begin();
    const bool posted = QMetaObject::invokeMethod(target, std::move(call), Qt::QueuedConnection);
    __tsan_ignore_thread_end();
    return posted;
#else
    return QMetaObject::invokeMethod(target, std::forward<Work>(work), Qt::QueuedConnection);
#endif
}

} // namespace base
