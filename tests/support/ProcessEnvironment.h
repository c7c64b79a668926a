#pragma once
// The environment and arguments of a program a test starts.

#include <string>
#include <vector>

// Each change is "NAME=value" (set or replace) or "NAME" (remove).
std::vector<std::string> ChangedEnvironment(const std::vector<std::string>& iChanges);
// The null-terminated pointer array of argv or envp over iTexts, which must outlive its use.
std::vector<char*> PointerArray(std::vector<std::string>& iTexts);
