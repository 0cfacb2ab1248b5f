// The stream exception family as the bridge throws and catches it in the
// Microsoft ABI. Exceptions are matched across modules by the names of their
// classes, so these carry the names and derivation of the module's and the
// host's; what each says comes from the object thrown.
#pragma once

#include <exception>

namespace quarlo_io {

class exception_io : public std::exception {
 public:
  using std::exception::exception;
};

class exception_io_data : public exception_io {
 public:
  using exception_io::exception_io;
};

class exception_io_data_truncation : public exception_io_data {
 public:
  using exception_io_data::exception_io_data;
};

}  // namespace quarlo_io
