#include "lib/TapevaultTools.h"

#include <cstdio>
#include <cstring>

int main(int argc, char** argv)
{
  SetArguments(argc, argv);
  for (int i = 1; i < argc; ++i)
  {
    if (std::strcmp(argv[i], "--version") == 0)
    {
      std::printf("Tapevault %s\n", ProgramVersionText().c_str());
      return 0;
    }
  }
  std::printf("Tapevault %s: the recording controller is not built yet.\n", ProgramVersionText().c_str());
  return 0;
}
