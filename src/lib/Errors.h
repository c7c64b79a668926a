#pragma once
// Exceptions carry the system's message texts; the boundaries that catch them log, show or answer them.

#include <stdexcept>
#include <string>

// A conversion failed (date parsing, number conversion).
class EConvertError : public std::runtime_error
{
public:
  using std::runtime_error::runtime_error;
};

// The SQL layer or the database engine failed.
class ESQLError : public std::runtime_error
{
public:
  using std::runtime_error::runtime_error;
};

// A storage tree operation was used wrongly (missing member, wrong kind, index out of range).
class EStorageError : public std::runtime_error
{
public:
  using std::runtime_error::runtime_error;
};

// printf-style formatting into a std::string, for the system's message texts.
std::string Format(const char* iFormat, ...) __attribute__((format(printf, 1, 2)));
