#include "lib/Errors.h"

#include <cstdarg>
#include <cstdio>

std::string Format(const char* iFormat, ...)
{
  va_list args;
  va_start(args, iFormat);
  va_list copy;
  va_copy(copy, args);
  const int length = std::vsnprintf(nullptr, 0, iFormat, copy);
  va_end(copy);
  std::string result;
  if (length > 0)
  {
    result.resize(static_cast<size_t>(length));
    std::vsnprintf(result.data(), result.size() + 1, iFormat, args);
  }
  va_end(args);
  return result;
}
