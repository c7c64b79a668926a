#pragma once
// What the black-box tests of the service share: a root folder with a hand-written configuration, the program
// started on it with -headless and the environment of a private sound server, and readers for what it leaves
// behind (configuration file, log lines).

#include "support/ProgramRunner.h"
#include "support/PulseServer.h"
#include "support/PythonTestServer.h"
#include "support/SettingsTempFolder.h"

#include <chrono>
#include <fstream>
#include <map>
#include <memory>
#include <regex>
#include <string>
#include <vector>

namespace servicetest
{
using namespace std::chrono_literals;

// Under the sanitizers the program needs a few seconds to come up and to end.
constexpr std::chrono::seconds StartTimeout{30};
constexpr std::chrono::seconds ExitTimeout{30};

// The first line every start writes once the controller runs.
inline const std::string StartedPattern = "started with the root folder ";

// The environment of the program: the test's sound server, a private home and configuration folder, no display.
inline std::vector<std::string> ServiceEnvironment(const std::string& iHome, const TPulseServer* iPulse = nullptr)
{
  std::vector<std::string> result{"HOME=" + iHome, "XDG_CONFIG_HOME=" + iHome + "/.config", "DISPLAY",
                                  "WAYLAND_DISPLAY"};
  result.push_back(iPulse ? "PULSE_SERVER=" + iPulse->Address() : "PULSE_SERVER=unix:" + iHome + "/no-pulse");
  return result;
}

// A root folder for runs of the program, with its configuration file written by the test.
class TServiceRoot
{
public:
  void WriteConfig(const std::string& iConfiguration) const
  {
    TSettingsTempFolder::WriteFile(ConfigPath(), iConfiguration);
  }

  std::string Path() const { return fFolder.Path(); }
  std::string operator/(const std::string& iName) const { return fFolder / iName; }
  std::string ConfigPath() const { return fFolder / "Tapevault.ini"; }

  // The program on this root folder; iExtraArguments come before the root folder option.
  std::unique_ptr<TProgramRunner> Start(const TPulseServer* iPulse = nullptr,
                                        const std::vector<std::string>& iArguments = {"-headless"}) const
  {
    std::vector<std::string> arguments{TAPEVAULT_PROGRAM};
    arguments.insert(arguments.end(), iArguments.begin(), iArguments.end());
    arguments.insert(arguments.end(), {"-rootfolder", Path()});
    return std::make_unique<TProgramRunner>(arguments, ServiceEnvironment(fFolder / "home", iPulse));
  }

private:
  TSettingsTempFolder fFolder;
};

// One key line of an INI file.
struct TIniEntry
{
  std::string Section;
  std::string Key;
  std::string Value;
};

// The key lines of iPath in file order, with the section they stand in (names as written).
inline std::vector<TIniEntry> ReadIniEntries(const std::string& iPath)
{
  std::vector<TIniEntry> result;
  std::ifstream file(iPath);
  std::string section;
  for (std::string line; std::getline(file, line);)
  {
    if (!line.empty() && line.back() == '\r')
      line.pop_back();
    if (line.size() >= 2 && line.front() == '[' && line.back() == ']')
      section = line.substr(1, line.size() - 2);
    else if (const size_t equals = line.find('='); equals != std::string::npos && line.front() != ';')
      result.push_back({section, line.substr(0, equals), line.substr(equals + 1)});
  }
  return result;
}

// The section headers of iPath in file order.
inline std::vector<std::string> ReadIniSections(const std::string& iPath)
{
  std::vector<std::string> result;
  std::ifstream file(iPath);
  for (std::string line; std::getline(file, line);)
  {
    if (!line.empty() && line.back() == '\r')
      line.pop_back();
    if (line.size() >= 2 && line.front() == '[' && line.back() == ']')
      result.push_back(line.substr(1, line.size() - 2));
  }
  return result;
}

// The keys of one section with their values.
inline std::map<std::string, std::string> IniSection(const std::vector<TIniEntry>& iEntries,
                                                     const std::string& iSection)
{
  std::map<std::string, std::string> result;
  for (const TIniEntry& entry : iEntries)
    if (entry.Section == iSection)
      result[entry.Key] = entry.Value;
  return result;
}

// A pattern for a log line whose message is exactly iMessage: the line is "<date time>: <message>".
inline std::string LogLinePattern(const std::string& iMessage)
{
  static const std::regex special(R"([.^$|()\[\]{}*+?\\])");
  return ": " + std::regex_replace(iMessage, special, R"(\$&)") + "$";
}
} // namespace servicetest
