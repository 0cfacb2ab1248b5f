// The stream exception family. Their qualified names match the module's, so a
// throw on either side of the boundary is caught by type on the other.
#pragma once

#include <exception>
#include <string>
#include <utility>

namespace quarlo_io {

class exception_io : public std::exception {
 public:
  explicit exception_io(std::string message) : message_(std::move(message)) {}
  const char* what() const noexcept override { return message_.c_str(); }

 private:
  std::string message_;
};

// Short or malformed data; ends a module's settings loading.
class exception_io_data : public exception_io {
 public:
  using exception_io::exception_io;
};

// Data that ended before the count asked for.
class exception_io_data_truncation : public exception_io_data {
 public:
  using exception_io_data::exception_io_data;
};

}  // namespace quarlo_io
