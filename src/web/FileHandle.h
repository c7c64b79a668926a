#pragma once
// Opening files for delivery beneath a folder.

#include "lib/FileHandle.h"

#include <cstdint>
#include <string>

// Opens an existing regular file iRelativePath beneath iFolder for reading (never blocks on special files);
// an invalid handle otherwise. Neither ".." nor a symbolic link may lead out of iFolder (absolute links are
// refused, relative links that stay inside are followed). oSize receives the file's current size.
TFileHandle OpenRegularFileBeneath(const std::string& iFolder, const std::string& iRelativePath, uint64_t& oSize);
