#include "platform/worker.h"

namespace fahuo {

Worker::Worker() : thread_([this] { Loop(); }) {}

Worker::~Worker() { Stop(); }

bool Worker::TryPost(std::function<void()> job) {
  std::lock_guard lock(mutex_);
  if (running_ || !jobs_.empty() || stopping_) return false;
  jobs_.push_back(std::move(job));
  wake_.notify_one();
  return true;
}

bool Worker::Post(std::function<void()> job) {
  std::lock_guard lock(mutex_);
  if (stopping_) return false;
  jobs_.push_back(std::move(job));
  wake_.notify_one();
  return true;
}

bool Worker::Busy() const {
  std::lock_guard lock(mutex_);
  return running_ || !jobs_.empty();
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
    wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
    if (stopping_) {
      jobs_.clear();  // queued jobs are dropped, not run
      return;
    }
    std::function<void()> job = std::move(jobs_.front());
    jobs_.pop_front();
    running_ = true;
    lock.unlock();
    try {
      job();
    } catch (...) {
      // A job runs on our thread; nothing may escape it.
    }
    job = nullptr;  // captured state dies before the worker reads as idle
    lock.lock();
    running_ = false;
    if (stopping_) {
      jobs_.clear();
      return;
    }
  }
}

}  // namespace fahuo
