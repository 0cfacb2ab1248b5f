#include "settings/exception_io.h"

namespace quarlo_io {

const char* exception_io::what() const noexcept { return message_; }

}  // namespace quarlo_io
