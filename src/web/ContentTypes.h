#pragma once
// Content types by file extension (letter case ignored); "application/octet-stream" for unknown ones.

#include <string>

std::string ContentTypeOf(const std::string& iPath);
