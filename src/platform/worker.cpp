#include "platform/worker.h"

namespace fahuo {

Worker::Worker() : thread_([this] { Loop(); }) {}

Worker::~Worker() { Stop(); }

bool Worker::TryPost(std::function<void()> job) {
  std::lock_guard lock(mutex_);
  if (busy_ || stopping_) return false;
  job_ = std::move(job);
  busy_ = true;
  wake_.notify_one();
  return true;
}

bool Worker::Busy() const {
  std::lock_guard lock(mutex_);
  return busy_;
}

void Worker::Stop() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    wake_.notify_one();
  }
  if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

void Worker::Loop() {
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return stopping_ || job_; });
    if (stopping_) return;  // a job queued at the last moment is dropped, not run
    std::function<void()> job = std::move(job_);
    job_ = nullptr;
    lock.unlock();
    try {
      job();
    } catch (...) {
      // A job runs on our thread; nothing may escape it.
    }
    job = nullptr;  // captured state dies before the worker reads as idle
    lock.lock();
    busy_ = false;
    if (stopping_) return;
  }
}

}  // namespace fahuo
