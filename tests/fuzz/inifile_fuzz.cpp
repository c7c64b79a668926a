// The configuration file is written by hand: whatever it holds, reading and writing keys must not crash, and a
// write must keep every line the program does not own.
#include "lib/IniFile.h"

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* iData, size_t iSize)
{
  static const std::string path = "/tmp/inifile_fuzz_" + std::to_string(::getpid()) + ".ini";
  {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(iData), static_cast<std::streamsize>(iSize));
  }
  {
    TIniFile ini(path);
    ini.ReadString("General", "ColumnCount", "1");
    ini.ReadInteger("Slot0", "Samplerate", 44100);
    ini.ReadBool("MainWindowPosition", "Maximized", false);
    ini.SectionExists("Webserver");
    try
    {
      ini.WriteString("Slot0", "Name", "Fuzz");
      ini.WriteInteger("General", "ColumnCount", 2);
      ini.DeleteKey("Webserver", "Port");
      ini.UpdateFile();
    }
    catch (const EIniFileError&)
    {
    }
    if (ini.ReadString("Slot0", "Name", "") != "Fuzz" || ini.ReadInteger("General", "ColumnCount", 0) != 2)
      __builtin_trap();
  }
  std::remove(path.c_str());
  return 0;
}
