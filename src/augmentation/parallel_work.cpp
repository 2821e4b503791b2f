#include "augmentation/parallel_work.hpp"

#include <new>
#include <string>
#include <variant>

#include "batch/parallel.hpp"
#include "core/internal_failure.hpp"

namespace tidemark {

namespace {

// Travels through the loop's failure slot as an internal error so that it
// can be told apart from every ParamError an item returns.
constexpr const char* kItemOutOfMemory = "out of memory in a parallel item";

}  // namespace

Status run_on_default_pool(std::size_t n, const std::function<Status(std::size_t)>& item) {
  auto guarded = [&](std::size_t i) -> Status {
    try {
      return item(i);
    } catch (const std::bad_alloc&) {
      throw InternalFailure(kItemOutOfMemory);
    }
  };
  std::optional<LoopFailure> failure = parallel_for(0, n, guarded);
  if (!failure) return std::nullopt;
  if (auto* e = std::get_if<ParamError>(&*failure)) return std::move(*e);
  if (auto* e = std::get_if<InternalError>(&*failure)) {
    if (e->message == kItemOutOfMemory) throw std::bad_alloc();
    throw InternalFailure(e->message);
  }
  return ParamError{"thread pool could not be built: " + std::get<PoolError>(*failure).message};
}

}  // namespace tidemark
