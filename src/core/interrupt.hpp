// Stopping long computations from outside.  Computations whose running time
// is not bounded by their output size (many integration passes, long
// filters) call interruption_point() at coarse check points.  The thread
// running them may register a check: the call road's runs pending Python
// signal handlers every few dozen milliseconds, a batch worker's asks
// whether its loop has stopped.  A check that asks for a stop makes the
// check point throw Interrupt, which unwinds the computation and frees its
// buffers on the way out.
#pragma once

namespace tidemark {

struct Interrupt {};  // not a std::exception: only the code that registered a check catches it

class InterruptCheck {
 public:
  virtual bool stop_requested() = 0;

 protected:
  ~InterruptCheck() = default;
};

namespace interrupt_detail {
inline thread_local InterruptCheck* current = nullptr;
}

inline void interruption_point() {
  if (InterruptCheck* check = interrupt_detail::current; check && check->stop_requested()) {
    throw Interrupt{};
  }
}

// Registers `check` for the current thread for the scope's lifetime.
class InterruptScope {
 public:
  explicit InterruptScope(InterruptCheck& check) : previous_(interrupt_detail::current) {
    interrupt_detail::current = &check;
  }
  ~InterruptScope() { interrupt_detail::current = previous_; }
  InterruptScope(const InterruptScope&) = delete;
  InterruptScope& operator=(const InterruptScope&) = delete;

 private:
  InterruptCheck* previous_;
};

}  // namespace tidemark
