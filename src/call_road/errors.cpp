#include "call_road/errors.hpp"

#include <atomic>
#include <string>

namespace tidemark::py {

PyObject* join_text(std::initializer_list<std::string_view> parts) {
#if PY_VERSION_HEX >= 0x030E0000
  PyUnicodeWriter* writer = PyUnicodeWriter_Create(0);
  if (!writer) return nullptr;
  for (std::string_view p : parts) {
    if (PyUnicodeWriter_WriteUTF8(writer, p.data(), static_cast<Py_ssize_t>(p.size())) < 0) {
      PyUnicodeWriter_Discard(writer);
      return nullptr;
    }
  }
  return PyUnicodeWriter_Finish(writer);
#else
  std::string text;
  for (std::string_view p : parts) text.append(p);
  return PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size()));
#endif
}

PyObject* internal_failure_type() {
  // Created without holding any lock of ours, then published with a
  // compare-exchange: a thread that loses the race drops its copy.  A mutex
  // held across Python calls could deadlock against the interpreter lock.
  static std::atomic<PyObject*> cached{nullptr};
  if (PyObject* t = cached.load(std::memory_order_acquire)) return t;
  PyObject* created = PyErr_NewExceptionWithDoc(
      "tidemark._lib.InternalFailure",
      "A violated internal check of the native core (for example a sampler "
      "refusing its parameters).", PyExc_BaseException, nullptr);
  if (!created) return nullptr;
#if PY_VERSION_HEX >= 0x030E0000
  // Shared by every thread for the life of the process: freeze it so no
  // caller can mutate it under another thread's feet.
  if (PyType_Freeze(reinterpret_cast<PyTypeObject*>(created)) < 0) PyErr_Clear();
#endif
  PyObject* expected = nullptr;
  if (!cached.compare_exchange_strong(expected, created, std::memory_order_acq_rel)) {
    Py_DECREF(created);
    return expected;
  }
  return created;
}

void raise_internal_failure(const std::string& text) {
  PyObject* type = internal_failure_type();
  if (!type) return;
  PyErr_SetString(type, text.c_str());
}

void raise_value_error(std::string_view message) {
  PyObject* text = join_text({message});
  if (!text) return;
  PyErr_SetObject(PyExc_ValueError, text);
  Py_DECREF(text);
}

void raise_type_error(std::string_view message) {
  PyObject* text = join_text({message});
  if (!text) return;
  PyErr_SetObject(PyExc_TypeError, text);
  Py_DECREF(text);
}

namespace {

PyObject* take_current_exception() {
#if PY_VERSION_HEX >= 0x030C0000
  return PyErr_GetRaisedException();
#else
  PyObject *type, *value, *tb;
  PyErr_Fetch(&type, &value, &tb);
  PyErr_NormalizeException(&type, &value, &tb);
  if (tb) PyException_SetTraceback(value, tb);
  Py_XDECREF(type);
  Py_XDECREF(tb);
  return value;
#endif
}

void restore_exception(PyObject* exc) {
#if PY_VERSION_HEX >= 0x030C0000
  PyErr_SetRaisedException(exc);
#else
  PyErr_Restore(Py_NewRef(reinterpret_cast<PyObject*>(Py_TYPE(exc))), exc,
                PyException_GetTraceback(exc));
#endif
}

}  // namespace

void add_note_to_current_error(std::string_view note) {
  PyObject* exc = take_current_exception();
  if (!exc) return;
  PyObject* text = join_text({note});
  if (text) {
    PyObject* r = PyObject_CallMethod(exc, "add_note", "O", text);
    Py_DECREF(text);
    if (r) {
      Py_DECREF(r);
    } else {
      PyErr_Clear();  // keep the original error rather than the note's
    }
  } else {
    PyErr_Clear();
  }
  restore_exception(exc);
}

}  // namespace tidemark::py
