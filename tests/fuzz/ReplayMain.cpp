// Runs a fuzz target without libFuzzer, so that every target is a regular test: first over every file of the
// folders or files given (the seed corpus), then, with -runs=N, over N inputs made from them by deterministic
// mutations (a fixed seed: the same inputs on every run). When an input fails (a property check aborts, a
// sanitizer reports, a signal), it is written to a file whose name is printed, for replaying and for the corpus.
#include <algorithm>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* iData, size_t iSize);
// Present only in a sanitizer build.
extern "C" void __sanitizer_set_death_callback(void (*iCallback)()) __attribute__((weak));

namespace
{
constexpr size_t kMaxInputSize = 4096;
constexpr uint32_t kSeed = 20240315;
// Bytes that end fields, lines, quotes, escapes or numbers in the parsers under test.
constexpr uint8_t kInterestingBytes[] = {0,   0xFF, '\r', '\n', '"', '%', '\'', ';',  '=',  '\\', ',', '-',
                                         ':', '/',  '#',  '[',  '{', '}', ' ',  0x7F, 0x80, 0xC2, '0', '9'};

// The input being run and where it goes when it fails: set up before the run, read only by the failure handler
// (which may run in a signal handler, so it uses nothing but write(2) on prepared texts).
const std::string* gCurrentInput = nullptr;
std::string gFailurePath;
std::string gFailureMessage;

void SaveFailingInput()
{
  if (!gCurrentInput)
    return;
  const int file = ::open(gFailurePath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (file >= 0)
  {
    [[maybe_unused]] ssize_t written = ::write(file, gCurrentInput->data(), gCurrentInput->size());
    ::close(file);
  }
  [[maybe_unused]] ssize_t written = ::write(STDERR_FILENO, gFailureMessage.data(), gFailureMessage.size());
  gCurrentInput = nullptr;
}

void OnFatalSignal(int iSignal)
{
  SaveFailingInput();
  std::signal(iSignal, SIG_DFL);
  std::raise(iSignal);
}

void Run(const std::string& iInput)
{
  gCurrentInput = &iInput;
  LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(iInput.data()), iInput.size());
  gCurrentInput = nullptr;
}

std::string ReadFile(const std::filesystem::path& iPath)
{
  std::ifstream stream(iPath, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(stream)), std::istreambuf_iterator<char>());
}

class TMutator
{
public:
  explicit TMutator(const std::vector<std::string>& iCorpus) : fCorpus(iCorpus), fRandom(kSeed) {}

  // One to four mutations stacked on a corpus entry.
  std::string Next()
  {
    std::string input = Pick();
    const size_t count = 1 + Below(4);
    for (size_t i = 0; i < count; ++i)
      Mutate(input);
    if (input.size() > kMaxInputSize)
      input.resize(kMaxInputSize);
    return input;
  }

private:
  size_t Below(size_t iLimit)
  {
    return iLimit == 0 ? 0 : std::uniform_int_distribution<size_t>(0, iLimit - 1)(fRandom);
  }
  const std::string& Pick() { return fCorpus[Below(fCorpus.size())]; }
  char Interesting() { return static_cast<char>(kInterestingBytes[Below(std::size(kInterestingBytes))]); }

  void Mutate(std::string& ioInput)
  {
    const size_t at = Below(ioInput.size() + 1);
    switch (Below(ioInput.empty() ? 2 : 8))
    {
    case 0: // insert an interesting byte
      ioInput.insert(at, 1, Interesting());
      break;
    case 1: // insert a random byte
      ioInput.insert(at, 1, static_cast<char>(Below(256)));
      break;
    case 2: // flip a bit
      ioInput[at % ioInput.size()] ^= static_cast<char>(1 << Below(8));
      break;
    case 3: // replace a byte by an interesting one
      ioInput[at % ioInput.size()] = Interesting();
      break;
    case 4: // delete a run of bytes
      ioInput.erase(at % ioInput.size(), 1 + Below(8));
      break;
    case 5: // repeat a piece of the input elsewhere in it
    {
      const size_t from = at % ioInput.size();
      const std::string piece = ioInput.substr(from, 1 + Below(16));
      ioInput.insert(Below(ioInput.size() + 1), piece);
      break;
    }
    case 6: // splice: the start of this input, the end of another
    {
      const std::string& other = Pick();
      ioInput = ioInput.substr(0, at) + other.substr(Below(other.size() + 1));
      break;
    }
    default: // insert a large number
      ioInput.insert(at, std::to_string(fRandom()) + std::to_string(fRandom()));
      break;
    }
  }

  const std::vector<std::string>& fCorpus;
  std::mt19937 fRandom;
};
} // namespace

int main(int argc, char** argv)
{
  long runs = 0;
  std::vector<std::filesystem::path> files;
  for (int i = 1; i < argc; ++i)
  {
    const std::string argument = argv[i];
    if (argument.rfind("-runs=", 0) == 0)
      runs = std::stol(argument.substr(6));
    else if (std::filesystem::is_directory(argument))
    {
      for (const auto& entry : std::filesystem::recursive_directory_iterator(argument))
        if (entry.is_regular_file())
          files.push_back(entry.path());
    }
    else
      files.push_back(argument);
  }
  // Directory order differs between file systems; the mutations must not.
  std::sort(files.begin(), files.end());

  gFailurePath =
      (std::filesystem::current_path() / (std::filesystem::path(argv[0]).filename().string() + ".failing-input"))
          .string();
  gFailureMessage = "failing input written to " + gFailurePath + "\n";
  // The property checks abort; the sanitizers report crashes themselves and then call back.
  std::signal(SIGABRT, &OnFatalSignal);
  if (__sanitizer_set_death_callback)
    __sanitizer_set_death_callback(&SaveFailingInput);
  else
    for (const int signal : {SIGSEGV, SIGBUS, SIGFPE, SIGILL})
      std::signal(signal, &OnFatalSignal);

  std::vector<std::string> corpus;
  for (const auto& path : files)
  {
    corpus.push_back(ReadFile(path));
    Run(corpus.back());
  }
  std::printf("%zu inputs replayed\n", corpus.size());
  if (corpus.empty())
    return 1;

  TMutator mutator(corpus);
  for (long i = 0; i < runs; ++i)
    Run(mutator.Next());
  if (runs > 0)
    std::printf("%ld mutated inputs run\n", runs);
  return 0;
}
