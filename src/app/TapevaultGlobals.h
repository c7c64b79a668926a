#pragma once
// Process-wide state: the root folder and the one configuration file through which every part of the program
// reads and writes its settings.

#include "lib/IniFile.h"

#include <string>
#include <vector>

// The root folder from the default folder and the arguments after the program name: "-rootfolder" (exactly so)
// followed by a path replaces it, the last occurrence winning; the last argument is never taken as the option.
// A relative path is resolved against the current directory. Always absolute, with a trailing "/".
std::string DetermineRootFolder(const std::string& iDefaultFolder, const std::vector<std::string>& iArguments);

// Finds the root folder from the process's arguments (default: the configuration home followed by
// "Brendle/Tapevault/"), creates it with its parents (a failure shows only at the first write of the
// configuration) and opens "Tapevault.ini" inside it. Call once, before anything reads the configuration.
void InitializeGlobals();

// Valid after InitializeGlobals.
const std::string& RootFolder();
TIniFile& ConfigFile();
