#pragma once
// Open connections for reading a slot's recordings (the calendar, the day lists, downloads): a request takes
// one and gives it back when its handle goes, so that opening the file, checking the table and preparing
// statements happen once per connection instead of once per request. A connection is used again only while
// it still names the same file (same path, same inode: a database moved or replaced gets new connections).

#include "lib/SimpleSQLInterface.h"

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <vector>

class TRecordingReaders : public std::enable_shared_from_this<TRecordingReaders>
{
public:
  using TOpen = std::function<ISQLConnectionRef(const std::string& iPath)>;
  // Connections kept open beyond the ones in use.
  static constexpr size_t kIdleLimit = 4;

  explicit TRecordingReaders(TOpen iOpen);

  // A connection to iPath, idle or newly opened (errors of the opening reach the caller).
  ISQLConnectionRef Take(const std::string& iPath);

private:
  struct TIdle
  {
    ISQLConnectionRef Connection;
    std::string Path;
    dev_t Device = 0;
    ino_t Inode = 0;
  };
  void GiveBack(TIdle iIdle);

  TOpen fOpen;
  std::mutex fMutex;
  std::vector<TIdle> fIdle;
};
