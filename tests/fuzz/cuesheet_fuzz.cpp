// Cue sheets written beside a stream's recording from the titles the station sends. The input is a series of
// metadata texts separated by NUL bytes, each one handed over as it arrived. The sheet on disk must be the FILE
// line and three lines per title, each line ended by CR LF and holding no other line break or control
// character, the title one quoted field of valid UTF-8, the tracks counted from 1 and their times in order.
#include "FuzzChecks.h"
#include "lib/TapevaultTools.h"
#include "slots/InputStreamTitles.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace
{
// A folder of its own for the recording, removed at the end.
struct TFolder
{
  TFolder()
  {
    char name[] = "/tmp/cuesheet_fuzz.XXXXXX";
    if (!::mkdtemp(name))
      std::abort();
    Path = name;
  }
  ~TFolder() { std::filesystem::remove_all(Path); }
  std::filesystem::path Path;
};

// "    INDEX 01 mm:ss:ff" as frames (75 a second); minutes may have more digits.
int64_t IndexFrames(const std::string& iLine)
{
  const std::string prefix = "    INDEX 01 ";
  Check(iLine.rfind(prefix, 0) == 0);
  const std::string time = iLine.substr(prefix.size());
  const size_t colon = time.find(':');
  Check(colon != std::string::npos && colon >= 2 && time.size() == colon + 6 && time[colon + 3] == ':');
  Check(time.find_first_not_of("0123456789:") == std::string::npos);
  const int64_t minutes = std::stoll(time.substr(0, colon));
  const int seconds = std::stoi(time.substr(colon + 1, 2)), frames = std::stoi(time.substr(colon + 4, 2));
  Check(seconds < 60 && frames < 75);
  return (minutes * 60 + seconds) * 75 + frames;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* iData, size_t iSize)
{
  static TFolder folder;
  const std::string recording = (folder.Path / "2024-03-15 10-00.mp3").string();
  const std::string sheet = recording + ".cue";
  std::filesystem::remove(sheet);

  TInputStreamTitles titles(0);
  titles.FileStarted(recording, static_cast<int64_t>(MillisecondClock()));
  const std::string input(reinterpret_cast<const char*>(iData), iSize);
  std::vector<std::string> taken;
  for (size_t start = 0; start <= input.size();)
  {
    const size_t end = std::min(input.find('\0', start), input.size());
    if (const auto title = titles.Update(input.substr(start, end - start), true))
      taken.push_back(*title);
    start = end + 1;
  }

  Check(std::filesystem::exists(sheet) == !taken.empty());
  if (taken.empty())
    return 0;
  std::ifstream stream(sheet, std::ios::binary);
  const std::string content((std::istreambuf_iterator<char>(stream)), std::istreambuf_iterator<char>());
  Check(ValidUTF8(content));
  std::vector<std::string> lines;
  for (size_t start = 0; start < content.size();)
  {
    const size_t end = content.find("\r\n", start);
    Check(end != std::string::npos);
    lines.push_back(content.substr(start, end - start));
    Check(OneLine(lines.back()));
    start = end + 2;
  }
  Check(lines.size() == 1 + 3 * taken.size() && lines[0] == "FILE \"2024-03-15 10-00.mp3\" MP3");
  int64_t lastFrames = 0;
  for (size_t track = 1; track <= taken.size(); ++track)
  {
    const std::string number = (track < 10 ? "0" : "") + std::to_string(track);
    Check(lines[3 * track - 2] == "  TRACK " + number + " AUDIO");
    const std::string& title = lines[3 * track - 1];
    Check(title.rfind("    TITLE \"", 0) == 0 && title.size() >= 12 && title.back() == '"');
    const std::string field = title.substr(11, title.size() - 12);
    Check(field.find('"') == std::string::npos);
    std::string expected = taken[track - 1];
    for (size_t at = 0; (at = expected.find('"', at)) != std::string::npos; at += 2)
      expected.replace(at, 1, "''");
    Check(field == expected);
    const int64_t frames = IndexFrames(lines[3 * track]);
    Check(frames >= lastFrames);
    lastFrames = frames;
  }
  return 0;
}
