#pragma once
// One owned thread that runs one job at a time, in the order posted. A job offered with
// TryPost while another is queued or running is dropped: a timer that ticks faster than the
// work takes never piles up threads or jobs. Post queues whatever runs (a seller's action
// must not be lost). Stop() waits for the running job, so nothing outlives its owner.
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace fahuo {

class Worker {
 public:
  Worker();
  ~Worker();  // Stop()
  Worker(const Worker&) = delete;
  Worker& operator=(const Worker&) = delete;

  // Queues `job` unless one is queued or running, or the worker was stopped. True when
  // queued. Jobs must not throw out (an escaping exception is swallowed).
  bool TryPost(std::function<void()> job);
  // Queues `job` behind the others unless the worker was stopped. True when queued.
  bool Post(std::function<void()> job);

  // True while a job is queued or running.
  bool Busy() const;

  // Refuses new jobs, waits for the running one and ends the thread. Idempotent.
  void Stop();

 private:
  void Loop();

  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::function<void()>> jobs_;
  bool running_ = false;
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace fahuo
