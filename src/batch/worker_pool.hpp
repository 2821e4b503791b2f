// Worker threads that run indexed parallel loops.  A process-wide default
// pool sized to the available processors, and a one-slot cache holding the
// most recently built dedicated pool, shared with the runs using it.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace tidemark {

class LoopJob;  // one parallel loop in flight

class WorkerPool {
 public:
  explicit WorkerPool(std::size_t n_threads);  // throws std::system_error on failure
  ~WorkerPool();
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;

  std::size_t size() const;

  // Runs body(i) for i in [0, n) on the pool's threads, the caller waiting.
  // body must not throw.  Several callers may run loops on one pool at once.
  void run(std::size_t n, const std::function<void(std::size_t)>& body);

  // As run(), but the waiting caller calls on_wake() whenever a chunk of
  // items has finished and at least every `interval` otherwise, so that it
  // can take up finished results or notice an interruption while the loop
  // goes on.  on_wake runs on the calling thread and must not throw.
  void run(std::size_t n, const std::function<void(std::size_t)>& body,
           const std::function<void()>& on_wake, std::chrono::milliseconds interval);

 private:
  struct Impl;
  std::shared_ptr<LoopJob> start(std::size_t n, const std::function<void(std::size_t)>& body);
  std::unique_ptr<Impl> impl_;
};

// The pool for `n_workers`: 0 is the default pool, anything else the cached
// dedicated pool of that size (built, and replacing the cached one, when the
// size differs).  On failure returns nullptr and sets `error` to the
// facility's description.
std::shared_ptr<WorkerPool> acquire_pool(std::size_t n_workers, std::string& error);

}  // namespace tidemark
