#include "web/FileDelivery.h"

#include <gtest/gtest.h>

TEST(FileDelivery, StoredNamesStayInsideTheFolder)
{
  struct TCase
  {
    const char* Folder;
    const char* Stored;
    std::optional<std::string> Expected;
  };
  const TCase cases[] = {
      {"/rec/news", "2024\\05\\17\\news.mp3", "/rec/news/2024/05/17/news.mp3"},
      {"/rec/news/", "2024/05/17/news.mp3", "/rec/news/2024/05/17/news.mp3"},
      {"/rec/news", "/etc/passwd", "/rec/news/etc/passwd"},
      {"/rec/news", "2024/../news.mp3", "/rec/news/news.mp3"},
      {"/rec/news", "..\\other\\x.mp3", std::nullopt},
      {"/rec/news", "../news2/x.mp3", std::nullopt},
      {"/rec/news", "2024/../../x.mp3", std::nullopt},
      {"/rec/news", "", std::nullopt},
      {"/rec/news", ".", std::nullopt},
      {"/rec/news", "2024/", std::nullopt},
      {"", "x.mp3", std::nullopt},
  };
  for (const TCase& test : cases)
    EXPECT_EQ(PathInsideFolder(test.Folder, test.Stored), test.Expected) << test.Folder << " + " << test.Stored;
}
