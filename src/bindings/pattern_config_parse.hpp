// Reads a pi_config dict into a PatternConfig.  Absent or unconvertible
// values silently take their defaults; nothing here raises.
#pragma once

#include "call_road/python.hpp"
#include "pattern_injection/pattern_injection.hpp"

namespace tidemark::py {

PatternConfig parse_pattern_config(PyObject* dict);

}  // namespace tidemark::py
