#include <cstdio>
#include <cstring>

#include "testing.hpp"

int main(int argc, char** argv) {
  const char* filter = argc > 1 ? argv[1] : nullptr;
  int passed = 0, failed = 0;
  for (const auto& c : testing::registry()) {
    if (filter && !std::strstr(c.name, filter)) continue;
    testing::failures_in_case() = 0;
    c.body();
    if (testing::failures_in_case() == 0) {
      ++passed;
    } else {
      ++failed;
      std::printf("FAILED: %s\n", c.name);
    }
  }
  std::printf("%d passed, %d failed\n", passed, failed);
  return failed == 0 ? 0 : 1;
}
