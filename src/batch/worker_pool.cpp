#include "batch/worker_pool.hpp"

#include <pthread.h>
#include <sched.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace tidemark {

namespace {

// Dedicated pools beyond this size are refused: thousands of threads only
// exhaust the process's resources without adding parallelism.
constexpr std::size_t kMaxWorkers = 1024;

// Items per claim: small enough that uneven items (series of very different
// lengths) still balance, large enough that tiny items don't contend on the
// shared counter.
std::size_t chunk_size(std::size_t n, std::size_t threads) {
  return std::clamp<std::size_t>(n / (threads * 8 + 1), 1, 64);
}

// The pool whose worker the current thread is, so that a loop started from
// inside an item of the same pool helps with its own items instead of
// waiting for workers that may all be busy waiting themselves.
thread_local const void* current_pool = nullptr;

std::size_t available_processors() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof(set), &set) == 0) {
    const int count = CPU_COUNT(&set);
    if (count > 0) return static_cast<std::size_t>(count);
  }
  return std::max(1u, std::thread::hardware_concurrency());
}

}  // namespace

// One parallel loop: shared by the caller and every worker that joins it.
// Workers hold it by shared_ptr, so it outlives the caller's wait even when
// a worker is still returning from the final notify.
class LoopJob {
 public:
  LoopJob(std::size_t n, std::size_t chunk, const std::function<void(std::size_t)>& body)
      : n_(n), chunk_(chunk), body_(body) {}

  // Claims and runs chunks until every index has been handed out.
  void work() {
    for (;;) {
      const std::size_t begin = next_.fetch_add(chunk_, std::memory_order_relaxed);
      if (begin >= n_) return;
      const std::size_t end = std::min(n_, begin + chunk_);
      for (std::size_t i = begin; i < end; ++i) body_(i);
      finish(end - begin);
    }
  }

  bool exhausted() const { return next_.load(std::memory_order_relaxed) >= n_; }

  void wait() {
    std::unique_lock lock(mutex_);
    done_cv_.wait(lock, [&] { return finished_ == n_; });
  }

  // Waits until more items have finished than `seen`, or the interval has
  // passed; returns the number finished.
  std::size_t wait_for_progress(std::size_t seen, std::chrono::milliseconds interval) {
    std::unique_lock lock(mutex_);
    done_cv_.wait_for(lock, interval, [&] { return finished_ > seen; });
    return finished_;
  }

  std::size_t size() const { return n_; }

 private:
  void finish(std::size_t count) {
    std::lock_guard lock(mutex_);
    finished_ += count;
    done_cv_.notify_all();  // the caller may be waiting for progress, not only the end
  }

  const std::size_t n_;
  const std::size_t chunk_;
  const std::function<void(std::size_t)>& body_;  // valid until wait() returns
  std::atomic<std::size_t> next_{0};
  std::mutex mutex_;
  std::condition_variable done_cv_;
  std::size_t finished_ = 0;
};


struct WorkerPool::Impl {
  std::mutex mutex;
  std::condition_variable work_cv;
  std::deque<std::shared_ptr<LoopJob>> queue;
  bool stopping = false;
  std::vector<std::thread> threads;

  void worker_loop() {
    current_pool = this;
    for (;;) {
      std::shared_ptr<LoopJob> job = next_job();
      if (!job) return;
      job->work();
      retire(job);
    }
  }

  std::shared_ptr<LoopJob> next_job() {
    std::unique_lock lock(mutex);
    work_cv.wait(lock, [&] { return stopping || !queue.empty(); });
    if (queue.empty()) return nullptr;  // stopping, nothing left
    return queue.front();
  }

  // An exhausted job leaves the queue so that workers move on to the next
  // caller's loop; its in-flight items are finished by whoever claimed them.
  void retire(const std::shared_ptr<LoopJob>& job) {
    std::lock_guard lock(mutex);
    auto it = std::find(queue.begin(), queue.end(), job);
    if (it != queue.end()) queue.erase(it);
  }

  void stop_and_join() {
    {
      std::lock_guard lock(mutex);
      stopping = true;
    }
    work_cv.notify_all();
    for (auto& t : threads) t.join();
    threads.clear();
  }
};

WorkerPool::WorkerPool(std::size_t n_threads) : impl_(std::make_unique<Impl>()) {
  const std::size_t count = std::max<std::size_t>(1, n_threads);
  try {
    impl_->threads.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
      impl_->threads.emplace_back([impl = impl_.get()] { impl->worker_loop(); });
    }
  } catch (...) {
    // The destructor does not run for a half-built pool: stop the threads
    // that did start before reporting the failure.
    impl_->stop_and_join();
    throw;
  }
}

// Callers hold the pool by shared_ptr for the whole of run(), and workers
// never hold it at all, so the last reference is always dropped by a thread
// that is not one of this pool's workers.
WorkerPool::~WorkerPool() { impl_->stop_and_join(); }

std::size_t WorkerPool::size() const { return impl_->threads.size(); }

void WorkerPool::run(std::size_t n, const std::function<void(std::size_t)>& body) {
  if (n == 0) return;
  start(n, body)->wait();
}

void WorkerPool::run(std::size_t n, const std::function<void(std::size_t)>& body,
                     const std::function<void()>& on_wake, std::chrono::milliseconds interval) {
  if (n == 0) return;
  auto job = start(n, body);
  for (std::size_t finished = 0; finished < n;) {
    finished = job->wait_for_progress(finished, interval);
    on_wake();
  }
}

// Queues the loop; a caller that is itself a worker of this pool works on
// its own loop rather than wait for workers that may all be waiting too.
std::shared_ptr<LoopJob> WorkerPool::start(std::size_t n,
                                       const std::function<void(std::size_t)>& body) {
  auto job = std::make_shared<LoopJob>(n, chunk_size(n, size()), body);
  {
    std::lock_guard lock(impl_->mutex);
    impl_->queue.push_back(job);
  }
  impl_->work_cv.notify_all();
  if (current_pool == impl_.get()) {
    job->work();
    impl_->retire(job);
  }
  return job;
}

namespace {

std::string too_many_workers(std::size_t n_workers) {
  return "n_workers " + std::to_string(n_workers) + " exceeds the limit of " +
         std::to_string(kMaxWorkers);
}

// The process-wide pools: the default pool, built on first use, and the
// one-slot cache of the most recent dedicated pool.  Neither is ever
// destroyed, so no thread is joined during static teardown while another
// thread might still be running a loop on it.
struct PoolRegistry {
  std::mutex mutex;
  std::shared_ptr<WorkerPool> default_pool;
  std::shared_ptr<WorkerPool> cached_pool;
  std::size_t cached_size = 0;
};

PoolRegistry* registry = nullptr;

// A child of fork() inherits the pools but none of their threads: waiting
// on them would hang and destroying them would join threads that do not
// exist.  The child therefore abandons the inherited registry (its pools
// are leaked on purpose) and builds fresh pools on first use.  The mutex
// is held across fork() so that the child never sees it locked by a
// thread that no longer exists.
void before_fork() { registry->mutex.lock(); }
void after_fork_in_parent() { registry->mutex.unlock(); }
void after_fork_in_child() { registry = new PoolRegistry(); }

PoolRegistry& pool_registry() {
  static std::once_flag once;
  std::call_once(once, [] {
    registry = new PoolRegistry();
    pthread_atfork(before_fork, after_fork_in_parent, after_fork_in_child);
  });
  return *registry;
}

std::shared_ptr<WorkerPool> build_pool(std::size_t n_threads, std::string& error) {
  try {
    return std::make_shared<WorkerPool>(n_threads);
  } catch (const std::exception& e) {  // std::system_error, std::bad_alloc
    error = e.what();
    return nullptr;
  }
}

std::shared_ptr<WorkerPool> default_pool(std::string& error) {
  PoolRegistry& r = pool_registry();
  std::lock_guard lock(r.mutex);
  if (!r.default_pool) r.default_pool = build_pool(available_processors(), error);
  return r.default_pool;
}

std::shared_ptr<WorkerPool> dedicated_pool(std::size_t n_workers, std::string& error) {
  PoolRegistry& r = pool_registry();
  std::shared_ptr<WorkerPool> replaced;  // joined after unlocking, if no run holds it
  std::lock_guard lock(r.mutex);
  if (r.cached_pool && r.cached_size == n_workers) return r.cached_pool;
  auto fresh = build_pool(n_workers, error);
  if (!fresh) return nullptr;
  // Only pools of a sensible size stay cached: a pool of a thousand idle
  // threads would otherwise live on for the rest of the process.
  if (n_workers <= std::max<std::size_t>(64, 4 * available_processors())) {
    replaced = std::exchange(r.cached_pool, fresh);
    r.cached_size = n_workers;
  }
  return fresh;
}

}  // namespace

std::shared_ptr<WorkerPool> acquire_pool(std::size_t n_workers, std::string& error) {
  if (n_workers > kMaxWorkers) {
    error = too_many_workers(n_workers);
    return nullptr;
  }
  if (n_workers == 0) return default_pool(error);
  return dedicated_pool(n_workers, error);
}

}  // namespace tidemark
