#include "core/memory.hpp"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>

namespace tidemark {
namespace {

std::optional<uint64_t> meminfo_available() {
  std::ifstream in("/proc/meminfo");
  std::string key;
  uint64_t kib = 0;
  std::string unit;
  while (in >> key >> kib) {
    std::getline(in, unit);
    if (key == "MemAvailable:") return kib * 1024;
  }
  const long pages = sysconf(_SC_AVPHYS_PAGES), page_size = sysconf(_SC_PAGE_SIZE);
  if (pages <= 0 || page_size <= 0) return std::nullopt;
  return static_cast<uint64_t>(pages) * static_cast<uint64_t>(page_size);
}

std::optional<uint64_t> read_number(const char* path) {
  std::ifstream in(path);
  uint64_t value = 0;
  if (in >> value) return value;
  return std::nullopt;  // absent, or "max"
}

// cgroup v2 limit of the process's group, when there is one.
std::optional<uint64_t> cgroup_room() {
  const auto limit = read_number("/sys/fs/cgroup/memory.max");
  const auto used = read_number("/sys/fs/cgroup/memory.current");
  if (!limit || !used) return std::nullopt;
  return *limit > *used ? *limit - *used : 0;
}

std::optional<uint64_t> address_space_room() {
  rlimit limit{};
  if (getrlimit(RLIMIT_AS, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return std::nullopt;
  std::ifstream statm("/proc/self/statm");
  uint64_t pages = 0;
  if (!(statm >> pages)) return std::nullopt;
  const uint64_t used = pages * static_cast<uint64_t>(sysconf(_SC_PAGE_SIZE));
  return limit.rlim_cur > used ? limit.rlim_cur - used : 0;
}

}  // namespace

std::optional<uint64_t> available_memory_bytes() {
  std::optional<uint64_t> least;
  for (const auto& room : {meminfo_available(), cgroup_room(), address_space_room()}) {
    if (room) least = least ? std::min(*least, *room) : *room;
  }
  return least;
}

Status check_available_memory(uint64_t bytes, const char* what) {
  if (bytes < kMemoryCheckThreshold) return std::nullopt;
  const std::optional<uint64_t> available = available_memory_bytes();
  if (!available || bytes <= *available) return std::nullopt;
  return param_error(std::string(what) + " needs " + std::to_string(bytes) +
                     " bytes of memory, more than the " + std::to_string(*available) +
                     " bytes available");
}

}  // namespace tidemark
