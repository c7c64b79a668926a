#pragma once
// Finds the parameters of a statement's SQL text: ":name" and "?", outside string literals, quoted names and
// comments. "::" is no parameter.

#include <string>
#include <vector>

struct TSQLParameterScan
{
  // The text handed to the engine: every parameter replaced by "?n", n being its number from 1.
  std::string EngineText;
  // Parameter names in order of first appearance, without the colon; empty for a "?". A name used again
  // (compared without regard to ASCII case) is the same parameter.
  std::vector<std::string> Names;
};

// ESQLError for "?" followed by digits: positions come from the order of appearance alone.
TSQLParameterScan ScanSQLParameters(const std::string& iSQL);

bool SameParameterName(const std::string& iLeft, const std::string& iRight);
