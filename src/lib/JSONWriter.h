#pragma once
// Writes the JSON text of a storage tree: layout, escaping and number form are fixed, because they are the
// body of every JSON answer.

#include <string>
#include <string_view>
#include <utility>

// A number with at most 15 significant digits, trailing zeros removed, "." as separator whatever the locale.
// Magnitudes from 1e-7 up to below 1e21 are written without an exponent; beyond them the form is 1.5e+25.
// Values that JSON cannot hold (infinities, NaN) are written as null.
std::string FormatJSonNumber(double iValue);

class TJSonWriter
{
public:
  TJSonWriter(bool iIndent, bool iEscape) : fIndent(iIndent), fEscape(iEscape) {}

  void WriteNull() { fText += "null"; }
  void WriteBoolean(bool iValue) { fText += iValue ? "true" : "false"; }
  void WriteNumber(double iValue);
  void WriteString(std::string_view iValue);

  // Containers: the node writes its elements between Begin and End; iEmpty tells an empty one ("{}", "[]").
  void BeginObject();
  void WriteMemberName(std::string_view iName, bool iFirst);
  void EndObject(bool iEmpty);
  void BeginArray(bool iEmpty);
  void WriteElementSeparator() { fText += ','; }
  void EndArray();

  std::string TakeText() { return std::move(fText); }

private:
  void NewLine();

  bool fIndent;
  bool fEscape;
  int fDepth = 0;
  std::string fText;
};
