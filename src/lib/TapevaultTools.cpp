#include "lib/TapevaultTools.h"

#include "TapevaultVersion.h"
#include "lib/Errors.h"

#include <charconv>
#include <ctime>
#include <unistd.h>

std::string BassErrorText(int iCode)
{
  struct TEntry
  {
    int Code;
    const char* Text;
  };
  static constexpr TEntry table[] = {
      {1, "memory error"},
      {2, "can't open the file"},
      {3, "can't find a free sound driver"},
      {4, "the sample buffer was lost"},
      {5, "invalid handle"},
      {6, "unsupported sample format"},
      {7, "invalid position"},
      {8, "BASS_Init has not been successfully called"},
      {9, "BASS_Start has not been successfully called"},
      {14, "already initialized/paused/whatever"},
      {18, "can't get a free channel"},
      {19, "an illegal type was specified"},
      {20, "an illegal parameter was specified"},
      {21, "no 3D support"},
      {22, "no EAX support"},
      {23, "illegal device number"},
      {24, "not playing"},
      {25, "illegal sample rate"},
      {27, "the stream is not a file stream"},
      {29, "no hardware voices available"},
      {31, "the MOD music has no sequence data"},
      {32, "no internet connection could be opened"},
      {33, "couldn't create the file"},
      {34, "effects are not enabled"},
      {37, "requested data is not available"},
      {38, "the channel is a \"decoding channel\""},
      {39, "a sufficient DirectX version is not installed"},
      {40, "connection timedout"},
      {41, "unsupported file format"},
      {42, "unavailable speaker"},
      {43, "invalid BASS version (used by add-ons)"},
      {44, "codec is not available/supported"},
      {45, "the channel/file has ended"},
      {48, "unsupported protocol"},
      {2000, "ACM codec selection cancelled"},
      {2100, "access denied (invalid password)"},
      {4000, "Not a decoding channel"},
      {4001, "BPM/Beat detection is in use"},
  };
  for (const TEntry& entry : table)
    if (entry.Code == iCode)
      return Format("%s (BASS error %d)", entry.Text, iCode);
  return Format("BASS error %d", iCode);
}

int DigitsToInt(const std::string& iDigits)
{
  int value = 0;
  const char* end = iDigits.data() + iDigits.size();
  const auto [position, error] = std::from_chars(iDigits.data(), end, value);
  if (iDigits.empty() || error != std::errc() || position != end || iDigits[0] == '-' || iDigits[0] == '+')
    return -1;
  return value;
}

uint64_t MillisecondClock()
{
  timespec now{};
  clock_gettime(CLOCK_BOOTTIME, &now);
  return static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
}

bool ProgramVersion(TProgramVersion& oVersion)
{
  oVersion.Major = TAPEVAULT_VERSION_MAJOR;
  oVersion.Minor = TAPEVAULT_VERSION_MINOR;
  oVersion.Release = TAPEVAULT_VERSION_RELEASE;
  oVersion.Build = TAPEVAULT_VERSION_BUILD;
  return true;
}

std::string ProgramVersionText()
{
  TProgramVersion version;
  ProgramVersion(version);
  return Format("%d.%d.%d.%d", version.Major, version.Minor, version.Release, version.Build);
}

std::string ProgramFilePath()
{
  std::string path(4096, '\0');
  const ssize_t length = readlink("/proc/self/exe", path.data(), path.size());
  path.resize(length > 0 ? static_cast<size_t>(length) : 0);
  return path;
}

std::string ProgramFolder()
{
  const std::string path = ProgramFilePath();
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
}
