// The stream exception family. The host and the module each have their own
// copies of these classes; they match across the boundary by qualified name,
// so the names and the derivation must stay exactly as they are.
#pragma once

#include <exception>

namespace quarlo_io {

// Any stream failure. Carries a static message text, which what returns.
class exception_io : public std::exception {
 public:
  explicit exception_io(const char* message) : message_(message) {}
  const char* what() const noexcept override;

 private:
  const char* message_;
};

// Short or malformed stream data; settings loading catches this family.
class exception_io_data : public exception_io {
 public:
  using exception_io::exception_io;
};

// Data that ended before the count asked for, or that cannot be trusted.
class exception_io_data_truncation : public exception_io_data {
 public:
  exception_io_data_truncation() : exception_io_data("Unsupported format or corrupted file") {}
  using exception_io_data::exception_io_data;
};

}  // namespace quarlo_io
