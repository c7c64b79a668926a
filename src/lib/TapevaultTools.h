#pragma once
// Small routines shared by every layer: engine error texts, command line, special folders, the
// millisecond clock, the ISO 8601 parser and the program's version and folder.

#include <cstdint>
#include <string>
#include <vector>

// Reads a run of decimal digits as a non-negative number; -1 when it is empty, not all digits or beyond int.
int DigitsToInt(const std::string& iDigits);

// Text for an audio engine error code (the codes of TAudioEngine's last error).
std::string BassErrorText(int iCode);

// The process's arguments. SetArguments is called once by main(); argument 0 is the program's full path.
void SetArguments(int argc, const char* const* argv);
// Number of arguments after the program name.
int ArgumentCount();
// Argument iIndex (0 = the program file's full path, whatever argv[0] says); empty when there are fewer.
std::string ArgumentText(int iIndex);

// Splits a command text into arguments: characters of code 32 or less separate them, double quotes group
// (and are dropped), n backslashes before a double quote give n/2 backslashes and, for odd n, a literal quote;
// other backslashes stay. "" is an empty argument. Used to start encoder programs without a shell.
std::vector<std::string> SplitCommandLine(const std::string& iCommandLine);

// Special folders by their CSIDL number: 35 = configuration home ($XDG_CONFIG_HOME or ~/.config),
// 13 = the user's music folder (XDG_MUSIC_DIR of user-dirs.dirs, else ~/Music); anything else ~/Music.
// Without a trailing delimiter.
constexpr int CSIDL_COMMON_APPDATA = 35;
constexpr int CSIDL_MYMUSIC = 13;
std::string SpecialFolderPath(int iCSIDL);

// Monotonic milliseconds (CLOCK_BOOTTIME, keeps counting during suspend); only differences are used.
uint64_t MillisecondClock();

// Parses an ISO 8601 date-time (date, optionally "T" and a time, optionally a "+hh[:mm]"/"-hh[:mm]" offset;
// other trailing text such as "Z" is ignored, a text without offset is UTC) into a date-time value (days since
// 1899-12-30). With iUTC the result is UTC, otherwise local time of the process's zone at that instant.
// Throws EConvertError whose message is exactly "Invalid date", "Invalid time" or "Invalid offset" for the part
// that failed, or the encoding error of DateTime.h for an impossible date or time.
double ParseISO8601(const std::string& iText, bool iUTC);

struct TProgramVersion
{
  int Major = 0, Minor = 0, Release = 0, Build = 0;
};
// The version compiled into the program. Always present on this platform.
bool ProgramVersion(TProgramVersion& oVersion);
// "major.minor.release.build"
std::string ProgramVersionText();
// Full path of the program file (/proc/self/exe).
std::string ProgramFilePath();
// Folder of the program file with a trailing delimiter.
std::string ProgramFolder();
