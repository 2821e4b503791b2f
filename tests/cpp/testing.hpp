// Minimal self-registering test harness for the native core's unit tests.
// The binary prints one "N passed, N failed" line at the end.
#pragma once

#include <cmath>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace testing {

struct Case {
  const char* name;
  void (*body)();
};

inline std::vector<Case>& registry() {
  static std::vector<Case> cases;
  return cases;
}

inline int& failures_in_case() {
  static int n = 0;
  return n;
}

struct Register {
  Register(const char* name, void (*body)()) { registry().push_back({name, body}); }
};

inline void report(const char* file, int line, const std::string& what) {
  std::printf("  %s:%d: %s\n", file, line, what.c_str());
  ++failures_in_case();
}

}  // namespace testing

#define TM_CAT2(a, b) a##b
#define TM_CAT(a, b) TM_CAT2(a, b)
#define TEST_CASE(name)                                                   \
  static void TM_CAT(test_body_, __LINE__)();                             \
  static const testing::Register TM_CAT(test_reg_, __LINE__)(name,        \
                                                             &TM_CAT(test_body_, __LINE__)); \
  static void TM_CAT(test_body_, __LINE__)()

#define CHECK(cond) \
  do { if (!(cond)) testing::report(__FILE__, __LINE__, "CHECK(" #cond ") failed"); } while (0)

#define CHECK_EQ(a, b)                                                              \
  do {                                                                              \
    auto tm_a = (a); auto tm_b = (b);                                               \
    if (!(tm_a == tm_b))                                                            \
      testing::report(__FILE__, __LINE__, std::string("CHECK_EQ(" #a ", " #b ") failed: ") + \
                      std::to_string(tm_a) + " vs " + std::to_string(tm_b));        \
  } while (0)

#define CHECK_NEAR(a, b, tol)                                                        \
  do {                                                                               \
    double tm_a = (a), tm_b = (b);                                                   \
    if (!(std::fabs(tm_a - tm_b) <= (tol)))                                          \
      testing::report(__FILE__, __LINE__, std::string("CHECK_NEAR(" #a ", " #b ") failed: ") + \
                      std::to_string(tm_a) + " vs " + std::to_string(tm_b));         \
  } while (0)

// Checks that `expr` throws tidemark::InternalFailure whose text starts with `msg`.
#define CHECK_FAILS_WITH(expr, msg)                                                       \
  do {                                                                                    \
    bool tm_thrown = false;                                                               \
    try { (void)(expr); } catch (const tidemark::InternalFailure& e) {                    \
      tm_thrown = true;                                                                   \
      if (std::string(e.what()).rfind(msg, 0) != 0)                                       \
        testing::report(__FILE__, __LINE__, std::string("wrong message: ") + e.what());   \
    }                                                                                     \
    if (!tm_thrown) testing::report(__FILE__, __LINE__, "expected InternalFailure: " #expr); \
  } while (0)
