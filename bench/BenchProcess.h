#pragma once
// What the in-process benchmarks measure about themselves: CPU time of the whole process and of each named
// thread, and their settings from the environment.

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <sys/resource.h>
#include <unistd.h>

inline double ProcessCPUSeconds()
{
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// CPU seconds of the process's threads so far, by thread name.
inline std::map<std::string, double> ThreadCPUSeconds()
{
  std::map<std::string, double> seconds;
  const double tick = static_cast<double>(sysconf(_SC_CLK_TCK));
  for (const auto& task : std::filesystem::directory_iterator("/proc/self/task"))
  {
    std::ifstream in(task.path() / "stat");
    std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t open = stat.find('('), close = stat.rfind(')');
    if (open == std::string::npos || close == std::string::npos)
      continue;
    unsigned long user = 0, system = 0;
    if (std::sscanf(stat.c_str() + close + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu", &user, &system) ==
        2)
      seconds[stat.substr(open + 1, close - open - 1)] += static_cast<double>(user + system) / tick;
  }
  return seconds;
}

inline std::string Environment(const char* iName, const std::string& iDefault)
{
  const char* value = std::getenv(iName);
  return value && *value ? value : iDefault;
}

// A new folder under the temporary directory named iPrefix plus a random part; empty when it cannot be made.
inline std::filesystem::path MakeTempFolder(const std::string& iPrefix)
{
  std::string pattern = (std::filesystem::temp_directory_path() / (iPrefix + "XXXXXX")).string();
  return mkdtemp(pattern.data()) ? std::filesystem::path(pattern) : std::filesystem::path();
}
