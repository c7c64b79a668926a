#include "ProgramRunner.h"

#include "Wait.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <poll.h>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <unistd.h>

namespace
{
// State letter and parent of a process from "/proc/<pid>/stat"; false when it is gone.
bool ReadProcessStat(pid_t iPid, char& oState, pid_t& oParent)
{
  std::ifstream file("/proc/" + std::to_string(iPid) + "/stat");
  std::string text;
  if (!std::getline(file, text))
    return false;
  // The program name in brackets may hold blanks and brackets itself: the fields go on after the last ')'.
  const size_t close = text.rfind(')');
  if (close == std::string::npos)
    return false;
  std::istringstream fields(text.substr(close + 1));
  long parent = 0;
  if (!(fields >> oState >> parent))
    return false;
  oParent = static_cast<pid_t>(parent);
  return true;
}

std::multimap<pid_t, pid_t> ChildrenByParent()
{
  std::multimap<pid_t, pid_t> result;
  DIR* proc = opendir("/proc");
  if (proc == nullptr)
    return result;
  while (const dirent* entry = readdir(proc))
  {
    char* end = nullptr;
    const long pid = std::strtol(entry->d_name, &end, 10);
    if (end == entry->d_name || *end != '\0')
      continue;
    char state = 0;
    pid_t parent = 0;
    if (ReadProcessStat(static_cast<pid_t>(pid), state, parent))
      result.emplace(parent, static_cast<pid_t>(pid));
  }
  closedir(proc);
  return result;
}

void AddLines(std::string& ioTail, const char* iData, size_t iLength, std::vector<std::string>& oLines)
{
  ioTail.append(iData, iLength);
  size_t start = 0;
  for (size_t end = ioTail.find('\n'); end != std::string::npos; end = ioTail.find('\n', start))
  {
    oLines.push_back(ioTail.substr(start, end - start));
    start = end + 1;
  }
  ioTail.erase(0, start);
}
} // namespace

TProgramRunner::TProgramRunner(const std::vector<std::string>& iArguments, const std::vector<std::string>& iEnvironment)
{
  int output[2] = {-1, -1};
  int error[2] = {-1, -1};
  if (pipe2(output, O_CLOEXEC) != 0 || pipe2(error, O_CLOEXEC) != 0 || pipe2(fWakePipe, O_CLOEXEC) != 0)
    throw std::runtime_error("cannot create pipes: " + std::string(std::strerror(errno)));
  try
  {
    fProcess = std::make_unique<TProcessLauncher>(iArguments, iEnvironment, output[1], error[1]);
  }
  catch (const std::runtime_error&)
  {
    for (const int descriptor : {output[0], output[1], error[0], error[1], fWakePipe[0], fWakePipe[1]})
      close(descriptor);
    throw;
  }
  close(output[1]);
  close(error[1]);
  fReader = std::thread([this, out = output[0], err = error[0]] { ReadOutput(out, err); });
}

TProgramRunner::~TProgramRunner()
{
  fProcess->Kill();
  // The program's children may still hold its output open; the reader stops on the wake-up.
  [[maybe_unused]] const ssize_t written = write(fWakePipe[1], "x", 1);
  fReader.join();
  close(fWakePipe[0]);
  close(fWakePipe[1]);
}

void TProgramRunner::ReadOutput(int iOutput, int iError)
{
  pollfd fds[3] = {{iOutput, POLLIN, 0}, {iError, POLLIN, 0}, {fWakePipe[0], POLLIN, 0}};
  char buffer[4096];
  while (fds[0].fd >= 0 || fds[1].fd >= 0)
  {
    if (poll(fds, 3, -1) < 0)
    {
      if (errno == EINTR)
        continue;
      break;
    }
    if (fds[2].revents != 0)
      break;
    for (int i = 0; i < 2; ++i)
    {
      if (fds[i].fd < 0 || fds[i].revents == 0)
        continue;
      const ssize_t count = read(fds[i].fd, buffer, sizeof(buffer));
      if (count <= 0)
      {
        close(fds[i].fd);
        fds[i].fd = -1; // poll ignores negative descriptors
        continue;
      }
      std::lock_guard lock(fLock);
      if (i == 0)
        AddLines(fOutputTail, buffer, static_cast<size_t>(count), fLines);
      else
        fErrors.append(buffer, static_cast<size_t>(count));
    }
  }
  for (const pollfd& fd : {fds[0], fds[1]})
    if (fd.fd >= 0)
      close(fd.fd);
}

std::vector<std::string> TProgramRunner::Lines() const
{
  std::lock_guard lock(fLock);
  return fLines;
}

std::string TProgramRunner::Output() const
{
  std::lock_guard lock(fLock);
  std::string result = "--- standard output:\n";
  for (const std::string& line : fLines)
    result += line + "\n";
  result += fOutputTail;
  return result + "\n--- standard error:\n" + fErrors;
}

std::optional<std::string> TProgramRunner::WaitForLine(const std::string& iPattern, std::chrono::milliseconds iTimeout,
                                                       size_t iFrom) const
{
  const std::regex pattern(iPattern);
  std::optional<std::string> match;
  WaitUntil(
      [&]
      {
        std::lock_guard lock(fLock);
        for (size_t i = iFrom; i < fLines.size() && !match; ++i)
          if (std::regex_search(fLines[i], pattern))
            match = fLines[i];
        return match.has_value();
      },
      iTimeout);
  return match;
}

uint16_t TProgramRunner::WebServerPort(std::chrono::milliseconds iTimeout) const
{
  const std::optional<std::string> line = WaitForLine("Web server listening on https?://.*:[0-9]+/", iTimeout);
  std::smatch port;
  if (!line || !std::regex_search(*line, port, std::regex(":([0-9]+)/$")))
    return 0;
  return static_cast<uint16_t>(std::stoi(port[1]));
}

std::vector<std::string> TProgramRunner::MatchingLines(const std::string& iPattern) const
{
  const std::regex pattern(iPattern);
  std::vector<std::string> result;
  for (const std::string& line : Lines())
    if (std::regex_search(line, pattern))
      result.push_back(line);
  return result;
}

std::vector<pid_t> TProgramRunner::Descendants() const
{
  const std::multimap<pid_t, pid_t> children = ChildrenByParent();
  std::vector<pid_t> result;
  std::vector<pid_t> parents{fProcess->Pid()};
  while (!parents.empty())
  {
    const pid_t parent = parents.back();
    parents.pop_back();
    const auto [first, last] = children.equal_range(parent);
    for (auto child = first; child != last; ++child)
    {
      result.push_back(child->second);
      parents.push_back(child->second);
    }
  }
  return result;
}

bool ProcessAlive(pid_t iPid)
{
  char state = 0;
  pid_t parent = 0;
  return ReadProcessStat(iPid, state, parent) && state != 'Z' && state != 'X';
}

std::string ProcessName(pid_t iPid)
{
  std::ifstream file("/proc/" + std::to_string(iPid) + "/comm");
  std::string name;
  std::getline(file, name);
  return name;
}
