// Raising the module's exceptions: ValueError for a ParamError, the lazily
// created InternalFailure class for violated internal checks, notes.
#pragma once

#include <string_view>

#include "call_road/python.hpp"
#include "core/param_error.hpp"

namespace tidemark::py {

// The InternalFailure class (a direct BaseException subclass), created on
// first use; safe under concurrent first use.  Borrowed reference.
PyObject* internal_failure_type();

void raise_internal_failure(const std::string& text);
void raise_value_error(std::string_view message);
void raise_type_error(std::string_view message);

// Adds a note to the exception currently being raised.
void add_note_to_current_error(std::string_view note);

// Concatenates UTF-8 pieces into a new str.
PyObject* join_text(std::initializer_list<std::string_view> parts);

}  // namespace tidemark::py
