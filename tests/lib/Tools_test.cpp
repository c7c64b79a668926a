#include "lib/TapevaultTools.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <optional>
#include <regex>
#include <thread>
#include <unistd.h>

TEST(BassErrorText, TableAndGeneralText)
{
  const std::pair<int, const char*> cases[] = {
      {1, "memory error (BASS error 1)"},
      {14, "already initialized/paused/whatever (BASS error 14)"},
      {38, "the channel is a \"decoding channel\" (BASS error 38)"},
      {43, "invalid BASS version (used by add-ons) (BASS error 43)"},
      {45, "the channel/file has ended (BASS error 45)"},
      {48, "unsupported protocol (BASS error 48)"},
      {2100, "access denied (invalid password) (BASS error 2100)"},
      {4001, "BPM/Beat detection is in use (BASS error 4001)"},
      {10, "BASS error 10"},
      {0, "BASS error 0"},
      {-1, "BASS error -1"},
  };
  for (const auto& [code, text] : cases)
    EXPECT_EQ(BassErrorText(code), text) << code;
}

TEST(MillisecondClock, CountsMilliseconds)
{
  const uint64_t start = MillisecondClock();
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  const uint64_t elapsed = MillisecondClock() - start;
  EXPECT_GE(elapsed, 30u);
  EXPECT_LT(elapsed, 5000u);
}

TEST(ProgramVersion, CompiledIn)
{
  TProgramVersion version;
  ASSERT_TRUE(ProgramVersion(version));
  EXPECT_EQ(ProgramVersionText(), std::to_string(version.Major) + "." + std::to_string(version.Minor) + "." +
                                      std::to_string(version.Release) + "." + std::to_string(version.Build));
  EXPECT_TRUE(std::regex_match(ProgramVersionText(), std::regex(R"(\d+\.\d+\.\d+\.\d+)")));
}

TEST(ProgramFolder, FolderOfTheRunningProgram)
{
  const std::string folder = ProgramFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_EQ(folder.back(), '/');
  EXPECT_EQ(folder + std::filesystem::path(ProgramFilePath()).filename().string(), ProgramFilePath());
  EXPECT_TRUE(std::filesystem::is_regular_file(ProgramFilePath()));
}

class SpecialFolderPathTest : public ::testing::Test
{
protected:
  void SetUp() override
  {
    fHome = std::filesystem::temp_directory_path() / ("tapevault-folders-" + std::to_string(getpid()));
    std::filesystem::create_directories(fHome / ".config");
    SaveVariable("HOME", fHome.string().c_str());
    SaveVariable("XDG_CONFIG_HOME", nullptr);
  }
  void TearDown() override
  {
    for (const auto& [name, value] : fSaved)
      if (value.has_value())
        setenv(name.c_str(), value->c_str(), 1);
      else
        unsetenv(name.c_str());
    std::filesystem::remove_all(fHome);
  }
  void SaveVariable(const char* iName, const char* iValue)
  {
    if (fSaved.count(iName) == 0)
    {
      const char* old = std::getenv(iName);
      fSaved[iName] = old ? std::optional<std::string>(old) : std::nullopt;
    }
    if (iValue)
      setenv(iName, iValue, 1);
    else
      unsetenv(iName);
  }
  void WriteUserDirs(const std::filesystem::path& iConfig, const std::string& iContent)
  {
    std::filesystem::create_directories(iConfig);
    std::ofstream(iConfig / "user-dirs.dirs") << iContent;
  }

  std::filesystem::path fHome;
  std::map<std::string, std::optional<std::string>> fSaved;
};

TEST_F(SpecialFolderPathTest, ConfigurationHome)
{
  EXPECT_EQ(SpecialFolderPath(CSIDL_COMMON_APPDATA), fHome.string() + "/.config");
  SaveVariable("XDG_CONFIG_HOME", "/srv/conf/");
  EXPECT_EQ(SpecialFolderPath(CSIDL_COMMON_APPDATA), "/srv/conf");
  SaveVariable("XDG_CONFIG_HOME", "relative/conf");
  EXPECT_EQ(SpecialFolderPath(CSIDL_COMMON_APPDATA), fHome.string() + "/.config");
}

TEST_F(SpecialFolderPathTest, MusicFolder)
{
  const std::string home = fHome.string();
  EXPECT_EQ(SpecialFolderPath(CSIDL_MYMUSIC), home + "/Music");
  const std::pair<std::string, std::string> cases[] = {
      {"# written by xdg-user-dirs-update\nXDG_MUSIC_DIR=\"$HOME/Musik\"\n", home + "/Musik"},
      {"XDG_DESKTOP_DIR=\"$HOME/Desktop\"\n  XDG_MUSIC_DIR = \"/data/audio files/\"\n", "/data/audio files"},
      {"XDG_MUSIC_DIR=$HOME/Plain\n", home + "/Plain"},
      {"XDG_MUSIC_DIR=\"$HOME/A\"\nXDG_MUSIC_DIR=\"$HOME/B \\\"x\\\"\"\n", home + "/B \"x\""},
      {"XDG_MUSIC_DIR=\"relative\"\n", home + "/Music"},
      {"XDG_MUSIC_DIRECTORY=\"/elsewhere\"\n", home + "/Music"},
  };
  for (const auto& [content, expected] : cases)
  {
    WriteUserDirs(fHome / ".config", content);
    EXPECT_EQ(SpecialFolderPath(CSIDL_MYMUSIC), expected) << content;
  }
  SaveVariable("XDG_CONFIG_HOME", (home + "/alt").c_str());
  WriteUserDirs(fHome / "alt", "XDG_MUSIC_DIR=\"$HOME/Alt Music\"\n");
  EXPECT_EQ(SpecialFolderPath(CSIDL_MYMUSIC), home + "/Alt Music");
}
