// Runs a fuzz target over every file of the folders or files given, so the seed corpus is a regular test.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* iData, size_t iSize);

static void RunFile(const std::filesystem::path& iPath)
{
  std::ifstream stream(iPath, std::ios::binary);
  std::string data((std::istreambuf_iterator<char>(stream)), std::istreambuf_iterator<char>());
  LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(data.data()), data.size());
}

int main(int argc, char** argv)
{
  int count = 0;
  for (int i = 1; i < argc; ++i)
  {
    std::filesystem::path path(argv[i]);
    if (std::filesystem::is_directory(path))
    {
      for (const auto& entry : std::filesystem::recursive_directory_iterator(path))
        if (entry.is_regular_file())
        {
          RunFile(entry.path());
          ++count;
        }
    }
    else
    {
      RunFile(path);
      ++count;
    }
  }
  std::printf("%d inputs replayed\n", count);
  return count > 0 ? 0 : 1;
}
