#pragma once
// The project's locks: std::mutex and std::shared_mutex with the annotations
// that let clang check who holds what (runtime/thread_annotations.h). Wait on
// a MutexLock with std::condition_variable_any.
#include <mutex>
#include <shared_mutex>

#include "runtime/thread_annotations.h"

namespace wardenix {

class CAPABILITY("mutex") Mutex {
 public:
  void lock() ACQUIRE() { mutex_.lock(); }
  void unlock() RELEASE() { mutex_.unlock(); }
  bool try_lock() TRY_ACQUIRE(true) { return mutex_.try_lock(); }

 private:
  std::mutex mutex_;
};

// Holds a Mutex from construction to destruction. A condition variable may
// let go of it and take it again while it waits; so may code that calls out
// without the lock (unlock, then lock again).
class SCOPED_CAPABILITY MutexLock {
 public:
  explicit MutexLock(Mutex& mutex) ACQUIRE(mutex) : mutex_(mutex) { mutex_.lock(); }
  MutexLock(const MutexLock&) = delete;
  MutexLock& operator=(const MutexLock&) = delete;
  ~MutexLock() RELEASE() {
    if (locked_) mutex_.unlock();
  }

  void lock() ACQUIRE() {
    mutex_.lock();
    locked_ = true;
  }
  void unlock() RELEASE() {
    locked_ = false;
    mutex_.unlock();
  }

 private:
  Mutex& mutex_;
  bool locked_ = true;
};

// Many readers or one writer.
class CAPABILITY("mutex") SharedMutex {
 public:
  void lock() ACQUIRE() { mutex_.lock(); }
  void unlock() RELEASE() { mutex_.unlock(); }
  void lock_shared() ACQUIRE_SHARED() { mutex_.lock_shared(); }
  void unlock_shared() RELEASE_SHARED() { mutex_.unlock_shared(); }

 private:
  std::shared_mutex mutex_;
};

class SCOPED_CAPABILITY ReaderLock {
 public:
  explicit ReaderLock(SharedMutex& mutex) ACQUIRE_SHARED(mutex) : mutex_(mutex) {
    mutex_.lock_shared();
  }
  ReaderLock(const ReaderLock&) = delete;
  ReaderLock& operator=(const ReaderLock&) = delete;
  ~ReaderLock() RELEASE() { mutex_.unlock_shared(); }

 private:
  SharedMutex& mutex_;
};

class SCOPED_CAPABILITY WriterLock {
 public:
  explicit WriterLock(SharedMutex& mutex) ACQUIRE(mutex) : mutex_(mutex) { mutex_.lock(); }
  WriterLock(const WriterLock&) = delete;
  WriterLock& operator=(const WriterLock&) = delete;
  ~WriterLock() RELEASE() { mutex_.unlock(); }

 private:
  SharedMutex& mutex_;
};

}  // namespace wardenix
