#pragma once
// Paths of recordings. A recording is stored by its name relative to the slot's folder, with "/" between
// folders; stored names written elsewhere may use "\", and both are read as separators.

#include <string>

// iFolder with a "/" at the end (an empty folder stays empty).
std::string WithTrailingDelimiter(const std::string& iFolder);

// The stored form of a relative recording name: every "\" becomes "/".
std::string StoredRecordingName(const std::string& iRelativeName);

// The full path of a stored recording name inside iFolder. False, with oFullPath untouched, for a name that
// would not name a file inside the folder: an absolute name, one with a ".." component, or one without any
// component. "." components and repeated separators are dropped.
bool ResolveRecordingPath(const std::string& iFolder, const std::string& iStoredName, std::string& oFullPath);
