#pragma once
// Which lock guards which state, and which lock a function needs, in a form
// that clang checks at compile time (-Wthread-safety). Other compilers see
// nothing. The names follow clang's thread-safety attributes.
#if defined(__clang__)
#define WARDENIX_THREAD_ATTRIBUTE(x) __attribute__((x))
#else
#define WARDENIX_THREAD_ATTRIBUTE(x)
#endif

// A type whose objects are locks.
#define CAPABILITY(name) WARDENIX_THREAD_ATTRIBUTE(capability(name))
// A type that holds a lock for the length of its life.
#define SCOPED_CAPABILITY WARDENIX_THREAD_ATTRIBUTE(scoped_lockable)

// Data that is read or written only with the lock held.
#define GUARDED_BY(lock) WARDENIX_THREAD_ATTRIBUTE(guarded_by(lock))
// Data reached through a pointer that is used only with the lock held.
#define PT_GUARDED_BY(lock) WARDENIX_THREAD_ATTRIBUTE(pt_guarded_by(lock))

// The caller holds the lock (exclusively, or at least shared).
#define REQUIRES(...) WARDENIX_THREAD_ATTRIBUTE(requires_capability(__VA_ARGS__))
#define REQUIRES_SHARED(...) WARDENIX_THREAD_ATTRIBUTE(requires_shared_capability(__VA_ARGS__))
// The caller must not hold the lock: the function takes it itself.
#define EXCLUDES(...) WARDENIX_THREAD_ATTRIBUTE(locks_excluded(__VA_ARGS__))

// The function takes or lets go of the lock.
#define ACQUIRE(...) WARDENIX_THREAD_ATTRIBUTE(acquire_capability(__VA_ARGS__))
#define ACQUIRE_SHARED(...) WARDENIX_THREAD_ATTRIBUTE(acquire_shared_capability(__VA_ARGS__))
#define RELEASE(...) WARDENIX_THREAD_ATTRIBUTE(release_capability(__VA_ARGS__))
#define RELEASE_SHARED(...) WARDENIX_THREAD_ATTRIBUTE(release_shared_capability(__VA_ARGS__))
#define TRY_ACQUIRE(...) WARDENIX_THREAD_ATTRIBUTE(try_acquire_capability(__VA_ARGS__))

// The function returns the lock named by its result.
#define RETURN_CAPABILITY(lock) WARDENIX_THREAD_ATTRIBUTE(lock_returned(lock))
// The function is left unchecked; say why where it is used.
#define NO_THREAD_SAFETY_ANALYSIS WARDENIX_THREAD_ATTRIBUTE(no_thread_safety_analysis)
