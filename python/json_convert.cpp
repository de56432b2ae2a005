#include "python/json_convert.h"

#include <cmath>
#include <string>

namespace py = pybind11;
using nlohmann::json;

namespace {

// Recipes nest five deep; this bounds the recursion whatever is handed in
// (a dict that holds itself, too).
constexpr int kMaxDepth = 64;

json Convert(py::handle v, const std::string& at, int depth) {
  if (depth > kMaxDepth) throw py::value_error(at + " is nested too deeply");
  if (v.is_none()) return nullptr;
  if (PyBool_Check(v.ptr())) return v.ptr() == Py_True;
  // numpy.bool_ is no int and no bool, but means one.
  if (py::hasattr(v, "dtype") && !PySequence_Check(v.ptr()) &&
      py::str(v.attr("dtype").attr("kind")).cast<std::string>() == "b")
    return PyObject_IsTrue(v.ptr()) == 1;
  if (PyUnicode_Check(v.ptr())) return v.cast<std::string>();
  if (PyFloat_Check(v.ptr())) {
    const double d = PyFloat_AsDouble(v.ptr());
    if (!std::isfinite(d)) throw py::value_error(at + " is not a finite number");
    return d;
  }
  // Python ints and numpy's integer scalars; one too large for 64 bits
  // becomes a double, as it would when read from a file.
  if (PyLong_Check(v.ptr()) || (PyIndex_Check(v.ptr()) && !PySequence_Check(v.ptr()))) {
    py::int_ i = py::reinterpret_steal<py::int_>(PyNumber_Index(v.ptr()));
    if (!i) throw py::error_already_set();
    int overflow = 0;
    const long long s = PyLong_AsLongLongAndOverflow(i.ptr(), &overflow);
    if (overflow == 0) return static_cast<int64_t>(s);
    if (overflow > 0) {
      const unsigned long long u = PyLong_AsUnsignedLongLong(i.ptr());
      if (!PyErr_Occurred()) return static_cast<uint64_t>(u);
      PyErr_Clear();
    }
    const double d = PyLong_AsDouble(i.ptr());
    if (PyErr_Occurred()) {
      PyErr_Clear();
      throw py::value_error(at + " is too large a number");
    }
    return d;
  }
  if (PyDict_Check(v.ptr())) {
    json out = json::object();
    for (auto item : py::reinterpret_borrow<py::dict>(v)) {
      if (!PyUnicode_Check(item.first.ptr())) throw py::value_error(at + " has a key that is not a string");
      const std::string key = item.first.cast<std::string>();
      out[key] = Convert(item.second, at + "[\"" + key + "\"]", depth + 1);
    }
    return out;
  }
  if (PyList_Check(v.ptr()) || PyTuple_Check(v.ptr())) {
    json out = json::array();
    size_t n = 0;
    for (py::handle item : py::reinterpret_borrow<py::sequence>(v))
      out.push_back(Convert(item, at + "[" + std::to_string(n++) + "]", depth + 1));
    return out;
  }
  // numpy's float32 and the like.
  if (py::hasattr(v, "__float__") && !PySequence_Check(v.ptr()))
    return Convert(py::float_(py::reinterpret_borrow<py::object>(v)), at, depth);
  throw py::value_error(at + " cannot be held in a recipe (a " + std::string(Py_TYPE(v.ptr())->tp_name) + ")");
}

}  // namespace

json JsonFromPython(py::handle value, const char* what) { return Convert(value, what, 0); }

py::object PythonFromJson(const json& v) {
  switch (v.type()) {
    case json::value_t::null: return py::none();
    case json::value_t::boolean: return py::bool_(v.get<bool>());
    case json::value_t::number_integer: return py::int_(v.get<int64_t>());
    case json::value_t::number_unsigned: return py::int_(v.get<uint64_t>());
    case json::value_t::number_float: return py::float_(v.get<double>());
    case json::value_t::string: return py::str(v.get_ref<const std::string&>());
    case json::value_t::array: {
      py::list out;
      for (const json& item : v) out.append(PythonFromJson(item));
      return out;
    }
    case json::value_t::object: {
      py::dict out;
      for (auto it = v.begin(); it != v.end(); ++it) out[py::str(it.key())] = PythonFromJson(it.value());
      return out;
    }
    default: return py::none();
  }
}
