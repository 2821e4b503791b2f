#include "batch/parallel.hpp"

#include <atomic>
#include <exception>
#include <memory>
#include <mutex>
#include <new>
#include <utility>

#include "batch/worker_pool.hpp"
#include "core/internal_failure.hpp"
#include "core/interrupt.hpp"

namespace tidemark {

namespace {

constexpr const char* kOutOfMemory = "could not allocate memory for the series";

// First failure wins; later ones are dropped.  The stop flag lets workers
// skip the items they have not started yet.
class FailureSlot {
 public:
  void record(LoopFailure failure) {
    stop_.store(true, std::memory_order_relaxed);
    std::lock_guard lock(mutex_);
    if (!failure_) failure_ = std::move(failure);
  }

  // For when even building the failure's text failed.
  void record_unreported() noexcept {
    stop_.store(true, std::memory_order_relaxed);
    unreported_.store(true, std::memory_order_relaxed);
  }

  bool stopped() const { return stop_.load(std::memory_order_relaxed); }
  void stop() { stop_.store(true, std::memory_order_relaxed); }

  // Lets a long item notice, at its interruption points, that the loop has
  // stopped (an earlier failure, or the caller's interruption).
  class Check final : public InterruptCheck {
   public:
    explicit Check(const FailureSlot& slot) : slot_(slot) {}
    bool stop_requested() override { return slot_.stopped(); }

   private:
    const FailureSlot& slot_;
  };

  // Called after the loop: every worker has finished with the slot.
  std::optional<LoopFailure> take() {
    if (!failure_ && unreported_.load(std::memory_order_relaxed)) {
      failure_ = InternalError{"out of memory while reporting a failure"};
    }
    return std::move(failure_);
  }

 private:
  std::atomic<bool> stop_{false};
  std::atomic<bool> unreported_{false};
  std::mutex mutex_;
  std::optional<LoopFailure> failure_;
};

void run_item(const std::function<Status(std::size_t)>& item, std::size_t i,
              FailureSlot& slot) {
  try {
    FailureSlot::Check check(slot);
    InterruptScope scope(check);
    Status status = item(i);
    if (status) slot.record(std::move(*status));
  } catch (const Interrupt&) {
    // The loop had already stopped; its failure is recorded.
  } catch (const InternalFailure& e) {
    slot.record(InternalError{e.what()});
  } catch (const std::bad_alloc&) {
    slot.record(ParamError{kOutOfMemory});
  } catch (const std::exception& e) {
    slot.record(InternalError{e.what()});
  } catch (...) {
    slot.record(InternalError{"unexpected exception in a parallel loop"});
  }
}


// The pool's contract: the body never throws, whatever the item does.
void guarded_item(const std::function<Status(std::size_t)>& item, std::size_t i,
                  FailureSlot& slot) noexcept {
  if (slot.stopped()) return;
  try {
    run_item(item, i, slot);
  } catch (...) {
    slot.record_unreported();
  }
}

}  // namespace

std::optional<LoopFailure> parallel_for_ordered(
    std::size_t n_workers, std::size_t n, const std::function<Status(std::size_t)>& item,
    const std::function<bool(std::size_t, std::size_t)>& deliver,
    std::chrono::milliseconds interval) {
  if (n == 0) return std::nullopt;
  std::string error;
  std::shared_ptr<WorkerPool> pool = acquire_pool(n_workers, error);
  if (!pool) return PoolError{std::move(error)};
  FailureSlot slot;
  std::size_t delivered = 0;
  bool interrupted = false;
  try {
    std::unique_ptr<std::atomic<bool>[]> done(new std::atomic<bool>[n]());
    auto body = [&](std::size_t i) {
      guarded_item(item, i, slot);
      done[i].store(true, std::memory_order_release);
    };
    auto on_wake = [&] {
      if (interrupted || slot.stopped()) return;
      std::size_t end = delivered;
      while (end < n && done[end].load(std::memory_order_acquire)) ++end;
      if (!deliver(delivered, end)) {
        interrupted = true;
        slot.stop();
      }
      delivered = end;
    };
    pool->run(n, body, on_wake, interval);
  } catch (const std::bad_alloc&) {  // the loop itself could not be set up
    return ParamError{kOutOfMemory};
  }
  std::optional<LoopFailure> failure = slot.take();
  if (!failure && interrupted) return Interrupted{};
  return failure;
}

std::optional<LoopFailure> parallel_for(std::size_t n_workers, std::size_t n,
                                        const std::function<Status(std::size_t)>& item) {
  if (n == 0) return std::nullopt;
  std::string error;
  std::shared_ptr<WorkerPool> pool = acquire_pool(n_workers, error);
  if (!pool) return PoolError{std::move(error)};
  FailureSlot slot;
  auto body = [&](std::size_t i) { guarded_item(item, i, slot); };
  try {
    pool->run(n, body);
  } catch (const std::bad_alloc&) {  // the loop itself could not be set up
    return ParamError{kOutOfMemory};
  }
  return slot.take();
}

}  // namespace tidemark
