#pragma once
// Delivery of a recording file: from the slot's folder, else from its secondary folder, whole or as one byte
// range, straight from the file (which may still be growing).

#include "web/WebResponse.h"

#include <optional>
#include <string>

// The full path of a stored relative name inside iFolder ("\" read as "/"); nothing when iFolder is empty or
// the name would lead outside it.
std::optional<std::string> PathInsideFolder(const std::string& iFolder, const std::string& iStoredName);

// Answers with the recording iStoredName; false when no file of that name exists in either folder.
bool DeliverRecording(const std::string& iFolder, const std::string& iSecondaryFolder, const std::string& iStoredName,
                      const std::optional<std::string>& iRangeHeader, TWebResponse& oResponse);
