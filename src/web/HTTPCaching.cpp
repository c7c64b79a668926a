#include "web/HTTPCaching.h"

#include "lib/Errors.h"
#include "web/WebText.h"

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <vector>

namespace
{
std::string Trimmed(const std::string& iText)
{
  const size_t first = iText.find_first_not_of(" \t");
  if (first == std::string::npos)
    return "";
  return iText.substr(first, iText.find_last_not_of(" \t") - first + 1);
}

std::vector<std::string> ListItems(const std::string& iList)
{
  std::vector<std::string> items;
  size_t start = 0;
  while (start <= iList.size())
  {
    const size_t end = std::min(iList.find(',', start), iList.size());
    if (std::string item = Trimmed(iList.substr(start, end - start)); !item.empty())
      items.push_back(std::move(item));
    start = end + 1;
  }
  return items;
}
} // namespace

bool AcceptsGzip(const std::string& iAcceptEncoding)
{
  bool gzip = false;
  bool gzipListed = false;
  bool any = false;
  for (const std::string& item : ListItems(iAcceptEncoding))
  {
    const size_t separator = item.find(';');
    const std::string coding = LowerCaseASCII(Trimmed(item.substr(0, separator)));
    bool wanted = true;
    if (separator != std::string::npos)
    {
      const std::string parameter = LowerCaseASCII(Trimmed(item.substr(separator + 1)));
      if (parameter.starts_with("q="))
        wanted = std::strtod(parameter.c_str() + 2, nullptr) > 0;
    }
    if (coding == "gzip" || coding == "x-gzip")
    {
      gzipListed = true;
      gzip = gzip || wanted;
    }
    else if (coding == "*")
      any = wanted;
  }
  return gzipListed ? gzip : any;
}

bool TagMatches(const std::string& iIfNoneMatch, const std::string& iTag)
{
  for (const std::string& item : ListItems(iIfNoneMatch))
    if (item == "*" || item == iTag || (item.starts_with("W/") && item.substr(2) == iTag))
      return true;
  return false;
}

std::string HTTPDate(int64_t iSecondsSince1970)
{
  static const char* const days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const auto time = static_cast<time_t>(iSecondsSince1970);
  tm utc{};
  gmtime_r(&time, &utc);
  return Format("%s, %02d %s %04d %02d:%02d:%02d GMT", days[utc.tm_wday], utc.tm_mday, months[utc.tm_mon],
                utc.tm_year + 1900, utc.tm_hour, utc.tm_min, utc.tm_sec);
}
