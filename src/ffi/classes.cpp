#include "classes.hpp"

#include <string>
#include <vector>

#include "convert.hpp"
#include "python_compat.hpp"

namespace orvek::ffi {
namespace {

constexpr std::size_t kIndices[] = {0, 1, 2, 3, 4, 5, 6, 7};

PyObject* as_object(PyTypeObject* type) { return reinterpret_cast<PyObject*>(type); }

std::vector<PyType_Slot> with_slot(PyType_Slot* slots, int slot, void* pointer) {
  std::vector<PyType_Slot> out;
  for (PyType_Slot* s = slots; s != nullptr && s->slot != 0; ++s) out.push_back(*s);
  out.push_back({slot, pointer});
  out.push_back({0, nullptr});
  return out;
}

}  // namespace

PyTypeObject* create_class(const char* name, int basicsize, unsigned flags, PyType_Slot* slots,
                           PyTypeObject* base) {
  // A dotted PyType_Spec name gives the class its __module__; the bare name then serves as tp_name, so
  // the interpreter's own messages read as for a built-in class ("'Pose' object ...").
  const std::string qualified = std::string("builtins.") + name;
  PyType_Spec spec{qualified.c_str(), basicsize, 0, flags, slots};
  Ref type = Ref::steal(PyType_FromMetaclass(nullptr, nullptr, &spec, base != nullptr ? as_object(base) : nullptr));
  if (!type) return nullptr;
  auto* created = reinterpret_cast<PyTypeObject*>(type.get());
  created->tp_name = name;
  // A docstring that is only a text signature leaves no documentation text: __doc__ is None.
  Ref dict = Ref::steal(PyType_GetDict(created));
  if (!dict) return nullptr;
  PyObject* doc = PyDict_GetItemString(dict.get(), "__doc__");  // borrowed
  if (doc != nullptr && PyUnicode_Check(doc) && PyUnicode_GetLength(doc) == 0 &&
      PyDict_SetItemString(dict.get(), "__doc__", Py_None) < 0) {
    return nullptr;
  }
  PyType_Modified(created);
  return reinterpret_cast<PyTypeObject*>(type.release());
}

bool set_class_attribute(PyTypeObject* type, const char* name, PyObject* value) {
  Ref dict = Ref::steal(PyType_GetDict(type));
  if (!dict || PyDict_SetItemString(dict.get(), name, value) < 0) return false;
  PyType_Modified(type);
  return true;
}

PyObject* no_constructor(PyTypeObject* type, PyObject*, PyObject*) {
  Ref name = Ref::steal(PyType_GetName(type));
  if (name) PyErr_Format(PyExc_TypeError, "No constructor defined for %U", name.get());
  return nullptr;
}

int refuse_delete() {
  PyErr_SetString(PyExc_AttributeError, "can't delete attribute");
  return -1;
}

bool index_argument(PyObject* key, std::size_t& index) {
  Ref number = Ref::steal(PyNumber_Index(key));
  if (!number) return named_argument_error("idx");
  index = PyLong_AsSize_t(number.get());
  return !(index == static_cast<std::size_t>(-1) && PyErr_Occurred());
}

PyObject* index_out_of_range() {
  PyErr_SetString(PyExc_IndexError, "tuple index out of range");
  return nullptr;
}

PyTypeObject* create_family(const FamilyClass& family) {
  std::vector<PyType_Slot> base_slots =
      with_slot(family.base_slots, Py_tp_new, reinterpret_cast<void*>(&no_constructor));
  const unsigned base_flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE | Py_TPFLAGS_IMMUTABLETYPE;
  Ref base = Ref::steal(
      as_object(create_class(family.name, family.basicsize, base_flags, base_slots.data())));
  if (!base) return nullptr;
  auto* base_type = reinterpret_cast<PyTypeObject*>(base.get());

  for (const VariantClass& variant : family.variants) {
    // The property table lives as long as the class: for the whole process.
    auto* properties = new PyGetSetDef[variant.params.size() + 1]{};
    for (std::size_t i = 0; i < variant.params.size(); ++i) {
      properties[i] = {variant.params[i], family.item, nullptr, nullptr, const_cast<std::size_t*>(&kIndices[i])};
    }
    PyType_Slot slots[] = {
        {Py_tp_new, reinterpret_cast<void*>(variant.construct)},
        {Py_tp_doc, const_cast<char*>(variant.doc)},
        {Py_tp_getset, properties},
        {0, nullptr},
    };
    Ref type = Ref::steal(as_object(create_class(variant.name, family.basicsize,
                                                 Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE, slots, base_type)));
    if (!type) return nullptr;
    Ref match_args = Ref::steal(PyTuple_New(static_cast<Py_ssize_t>(variant.params.size())));
    if (!match_args) return nullptr;
    for (std::size_t i = 0; i < variant.params.size(); ++i) {
      PyObject* name = PyUnicode_InternFromString(variant.params[i]);
      if (name == nullptr) return nullptr;
      PyTuple_SET_ITEM(match_args.get(), static_cast<Py_ssize_t>(i), name);
    }
    auto* variant_type = reinterpret_cast<PyTypeObject*>(type.get());
    if (!set_class_attribute(variant_type, "__match_args__", match_args.get())) return nullptr;
    if (!set_class_attribute(base_type, variant.attribute, type.get())) return nullptr;
  }
  // The family is closed: Python code cannot add variants of its own.
  base_type->tp_flags &= ~static_cast<unsigned long>(Py_TPFLAGS_BASETYPE);
  PyType_Modified(base_type);
  return reinterpret_cast<PyTypeObject*>(base.release());
}

}  // namespace orvek::ffi
