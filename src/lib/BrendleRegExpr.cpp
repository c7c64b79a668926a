#include "lib/BrendleRegExpr.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>
#include <stdexcept>
#include <unordered_map>

namespace
{

struct TCodeDeleter
{
  void operator()(pcre2_code* iCode) const { pcre2_code_free(iCode); }
};
struct TMatchDataDeleter
{
  void operator()(pcre2_match_data* iData) const { pcre2_match_data_free(iData); }
};
using TCode = std::unique_ptr<pcre2_code, TCodeDeleter>;
using TMatchData = std::unique_ptr<pcre2_match_data, TMatchDataDeleter>;

std::string ErrorMessage(int iCode)
{
  PCRE2_UCHAR buffer[256];
  const int length = pcre2_get_error_message(iCode, buffer, sizeof(buffer));
  return length < 0 ? "regular expression error " + std::to_string(iCode)
                    : std::string(reinterpret_cast<const char*>(buffer), static_cast<size_t>(length));
}

// Compiled patterns kept per object; callers use a handful of fixed patterns, the bound only guards against
// one that keeps building new ones.
constexpr size_t MaxCachedPatterns = 64;

// A pattern in UTF-8 mode, and in byte mode for input that is not valid UTF-8 (a Latin-1 stream title, say),
// where "." then matches any byte instead of stopping at the first invalid one.
struct TCompiledPattern
{
  TCode Text;
  TCode Bytes;
};

TCode Compile(const std::string& iPattern, uint32_t iOptions)
{
  int error = 0;
  PCRE2_SIZE offset = 0;
  TCode code(pcre2_compile(reinterpret_cast<PCRE2_SPTR>(iPattern.data()), iPattern.size(), iOptions | PCRE2_DOTALL,
                           &error, &offset, nullptr));
  if (!code)
    throw std::runtime_error(ErrorMessage(error) + " at offset " + std::to_string(offset) + " in \"" + iPattern + "\"");
  return code;
}

bool IsUTFError(int iResult)
{
  return iResult <= PCRE2_ERROR_UTF8_ERR1 && iResult >= PCRE2_ERROR_UTF8_ERR21;
}

} // namespace

struct TBrendleRegExpr::TImpl
{
  std::unordered_map<std::string, TCompiledPattern> Patterns;
  std::string Input;
  // Start and end offset of each group of the last match; PCRE2_UNSET when a group did not take part.
  std::vector<std::pair<size_t, size_t>> Groups;

  TCompiledPattern& Find(const std::string& iPattern)
  {
    const auto found = Patterns.find(iPattern);
    if (found != Patterns.end())
      return found->second;
    TCompiledPattern compiled{Compile(iPattern, PCRE2_UTF), nullptr};
    if (Patterns.size() >= MaxCachedPatterns)
      Patterns.clear();
    return Patterns.emplace(iPattern, std::move(compiled)).first->second;
  }

  // The result of pcre2_match; the offsets of a match are left in Groups.
  int Match(pcre2_code* iCode)
  {
    TMatchData data(pcre2_match_data_create_from_pattern(iCode, nullptr));
    if (!data)
      throw std::bad_alloc();
    const int result =
        pcre2_match(iCode, reinterpret_cast<PCRE2_SPTR>(Input.data()), Input.size(), 0, 0, data.get(), nullptr);
    if (result < 0)
      return result;
    const PCRE2_SIZE* offsets = pcre2_get_ovector_pointer(data.get());
    uint32_t captures = 0;
    pcre2_pattern_info(iCode, PCRE2_INFO_CAPTURECOUNT, &captures);
    for (uint32_t i = 0; i <= captures; ++i)
      Groups.emplace_back(offsets[2 * i], offsets[2 * i + 1]);
    return result;
  }
};

TBrendleRegExpr::TBrendleRegExpr() : fImpl(std::make_unique<TImpl>()) {}

TBrendleRegExpr::~TBrendleRegExpr() = default;

void TBrendleRegExpr::SetInput(const std::string& iString)
{
  fImpl->Input = iString;
  fImpl->Groups.clear();
}

bool TBrendleRegExpr::Matches(const std::string& iPattern, const std::string& iString)
{
  SetInput(iString);
  return Matches(iPattern);
}

bool TBrendleRegExpr::Matches(const std::string& iPattern)
{
  TCompiledPattern& pattern = fImpl->Find(iPattern);
  fImpl->Groups.clear();
  int result = fImpl->Match(pattern.Text.get());
  if (IsUTFError(result))
  {
    if (!pattern.Bytes)
      pattern.Bytes = Compile(iPattern, 0);
    result = fImpl->Match(pattern.Bytes.get());
  }
  if (result == PCRE2_ERROR_NOMATCH)
    return false;
  if (result < 0)
    throw std::runtime_error(ErrorMessage(result));
  return true;
}

std::string TBrendleRegExpr::Group(int iIndex) const
{
  if (iIndex < 0 || static_cast<size_t>(iIndex) >= fImpl->Groups.size())
    return std::string();
  const auto [start, end] = fImpl->Groups[static_cast<size_t>(iIndex)];
  if (start == PCRE2_UNSET || end < start)
    return std::string();
  return fImpl->Input.substr(start, end - start);
}

int TBrendleRegExpr::GroupCount() const
{
  return fImpl->Groups.empty() ? 0 : static_cast<int>(fImpl->Groups.size()) - 1;
}
