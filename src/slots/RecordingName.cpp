#include "slots/RecordingName.h"

#include "lib/Errors.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <regex>
#include <utility>
#include <vector>

namespace
{
void ReplaceAll(std::string& ioText, const std::string& iWhat, const std::string& iBy)
{
  for (size_t at = ioText.find(iWhat); at != std::string::npos; at = ioText.find(iWhat, at + iBy.size()))
    ioText.replace(at, iWhat.size(), iBy);
}

std::string Stamp(const TDateTimeParts& iNow)
{
  return Format("%.4d-%.2d-%.2d-%.2d-%.2d-%.2d", iNow.Year, iNow.Month, iNow.Day, iNow.Hour, iNow.Minute, iNow.Second);
}

// Position of the extension's dot in the last component of iName; npos when it has none.
size_t ExtensionDot(const std::string& iName)
{
  const size_t slash = iName.rfind('/');
  const size_t dot = iName.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
    return std::string::npos;
  return dot;
}

// The placeholders of a custom name and the field of the time each stands for.
enum TNameField
{
  nfYear,
  nfShortYear,
  nfMonth,
  nfDay,
  nfHour,
  nfMinute,
  nfSecond,
  nfCount
};
constexpr char kPlaceholderLetters[] = "YyMDhms";

// Appends to ioExpression what matches iText; with iPlaceholders, each placeholder becomes a group of digits
// whose field is appended to ioFields.
void AppendNamePattern(std::string& ioExpression, const std::string& iText, bool iPlaceholders,
                       std::vector<int>& ioFields)
{
  static const std::regex special(R"([.^$|()\[\]{}*+?\\])");
  std::string literal;
  const auto flush = [&] { ioExpression += std::regex_replace(std::exchange(literal, ""), special, R"(\$&)"); };
  for (size_t i = 0; i < iText.size(); ++i)
  {
    const char* letter = iPlaceholders && iText[i] == '%' && i + 1 < iText.size() && iText[i + 1] != 0
                             ? std::strchr(kPlaceholderLetters, iText[i + 1])
                             : nullptr;
    if (letter == nullptr)
    {
      literal += iText[i];
      continue;
    }
    flush();
    const auto field = static_cast<int>(letter - kPlaceholderLetters);
    ioExpression += field == nfYear ? "([0-9]{4})" : "([0-9]{2})";
    ioFields.push_back(field);
    ++i;
  }
  flush();
}

std::optional<TDateTime> NameTime(const std::smatch& iMatch, const std::vector<int>& iFields)
{
  int values[nfCount];
  std::fill(std::begin(values), std::end(values), -1);
  for (size_t group = 0; group < iFields.size(); ++group)
    if (values[iFields[group]] < 0)
      values[iFields[group]] = std::stoi(iMatch[group + 1].str());
  const int year = values[nfYear] >= 0 ? values[nfYear] : values[nfShortYear] >= 0 ? 2000 + values[nfShortYear] : -1;
  TDateTime result = 0;
  if (year < 0 || values[nfMonth] < 0 || values[nfDay] < 0 || values[nfHour] < 0 || values[nfMinute] < 0 ||
      !TryEncodeDateTime(year, values[nfMonth], values[nfDay], values[nfHour], values[nfMinute],
                         std::max(values[nfSecond], 0), 0, result))
    return std::nullopt;
  return result;
}

bool Exists(const std::string& iPath)
{
  std::error_code error;
  return std::filesystem::symlink_status(iPath, error).type() != std::filesystem::file_type::not_found;
}
} // namespace

std::string RecordingExtension(TBassStreamingFormat iFormat, const std::string& iFileExtension)
{
  switch (iFormat)
  {
  case sfMP3:
    return ".mp3";
  case sfMP2:
    return ".mp2";
  case sfOggVorbis:
    return ".ogg";
  case sfWAV16:
  case sfWAV32:
    return ".wav";
  case sfCustomWAV:
  case sfCustomRaw:
    return "." + iFileExtension;
  default:
    return "";
  }
}

std::string RecordingRelativeName(const TRecordingNameSettings& iSettings, const std::string& iExtension,
                                  const TDateTimeParts& iNow)
{
  if (iSettings.CustomFilename.empty())
  {
    const std::string name = iSettings.FilenamePrefix + Stamp(iNow) + iExtension;
    if (iSettings.FlatFilenames)
      return name;
    return Format("%.4d/%.2d/%.2d/", iNow.Year, iNow.Month, iNow.Day) + name;
  }
  // The extension is appended first, so placeholders in a custom extension are replaced too.
  std::string name = iSettings.CustomFilename + iExtension;
  ReplaceAll(name, "%Y", Format("%.4d", iNow.Year));
  ReplaceAll(name, "%y", Format("%.2d", iNow.Year % 100));
  ReplaceAll(name, "%M", Format("%.2d", iNow.Month));
  ReplaceAll(name, "%D", Format("%.2d", iNow.Day));
  ReplaceAll(name, "%h", Format("%.2d", iNow.Hour));
  ReplaceAll(name, "%m", Format("%.2d", iNow.Minute));
  ReplaceAll(name, "%s", Format("%.2d", iNow.Second));
  std::replace(name.begin(), name.end(), '\\', '/');
  return name;
}

TRecordingNamePattern::TRecordingNamePattern(const TRecordingNameSettings& iSettings, const std::string& iExtension)
{
  std::string expression;
  if (iSettings.CustomFilename.empty())
  {
    // A generated name: the date folders, the prefix as it is, the time stamp, the extension as it is.
    if (!iSettings.FlatFilenames)
      AppendNamePattern(expression, "%Y/%M/%D/", true, fFields);
    AppendNamePattern(expression, iSettings.FilenamePrefix, false, fFields);
    AppendNamePattern(expression, "%Y-%M-%D-%h-%m-%s", true, fFields);
    AppendNamePattern(expression, iExtension, false, fFields);
  }
  else
  {
    std::string pattern = iSettings.CustomFilename + iExtension;
    std::replace(pattern.begin(), pattern.end(), '\\', '/');
    AppendNamePattern(expression, pattern, true, fFields);
  }
  fNames = std::regex(expression);
}

TRecordingNameMatch TRecordingNamePattern::Match(const std::string& iRelativeName) const
{
  // The name itself, else the name without the suffix that kept it from overwriting another recording.
  std::string candidate = iRelativeName;
  std::smatch match;
  if (!std::regex_match(candidate, match, fNames))
  {
    static const std::regex suffix(R"(^(.*)-[1-9][0-9]*((\.[^./]*)?)$)");
    std::smatch parts;
    if (!std::regex_match(iRelativeName, parts, suffix))
      return {};
    candidate = parts[1].str() + parts[2].str();
    if (!std::regex_match(candidate, match, fNames))
      return {};
  }
  return {true, NameTime(match, fFields)};
}

std::string UniqueRecordingName(const std::string& iFolder, const std::string& iRelativeName)
{
  if (!Exists(iFolder + iRelativeName))
    return iRelativeName;
  const size_t dot = ExtensionDot(iRelativeName);
  const std::string stem = iRelativeName.substr(0, dot);
  const std::string extension = dot == std::string::npos ? "" : iRelativeName.substr(dot);
  for (int suffix = 1;; ++suffix)
  {
    std::string candidate = stem + Format("-%d", suffix) + extension;
    if (!Exists(iFolder + candidate))
      return candidate;
  }
}

std::string CueSheetFileLine(const std::string& iPath)
{
  const std::string name = std::filesystem::path(iPath).filename().string();
  const size_t dot = ExtensionDot(name);
  std::string type = dot == std::string::npos ? "" : name.substr(dot + 1);
  std::transform(type.begin(), type.end(), type.begin(), [](unsigned char c) { return std::toupper(c); });
  if (type == "WAV")
    type = "WAVE";
  return Format("FILE \"%s\" %s", name.c_str(), type.c_str());
}
