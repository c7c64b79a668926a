#include "slots/RecordingReaders.h"

#include <sys/stat.h>

TRecordingReaders::TRecordingReaders(TOpen iOpen) : fOpen(std::move(iOpen)) {}

ISQLConnectionRef TRecordingReaders::Take(const std::string& iPath)
{
  struct stat file
  {
  };
  const bool exists = ::stat(iPath.c_str(), &file) == 0;
  TIdle taken;
  std::vector<TIdle> stale; // closed after the lock is released
  {
    std::lock_guard lock(fMutex);
    for (auto it = fIdle.begin(); it != fIdle.end();)
      if (it->Path != iPath || !exists || it->Device != file.st_dev || it->Inode != file.st_ino)
      {
        stale.push_back(std::move(*it));
        it = fIdle.erase(it);
      }
      else
        ++it;
    if (!fIdle.empty())
    {
      taken = std::move(fIdle.back());
      fIdle.pop_back();
    }
  }
  stale.clear();
  if (!taken.Connection)
  {
    taken.Connection = fOpen(iPath);
    taken.Path = iPath;
    struct stat opened
    {
    };
    if (::stat(iPath.c_str(), &opened) == 0)
    {
      taken.Device = opened.st_dev;
      taken.Inode = opened.st_ino;
    }
  }
  // The handle gives the connection back when the request lets go of it; the pool lives as long as a handle.
  ISQLConnection* raw = taken.Connection.get();
  return ISQLConnectionRef(raw, [self = shared_from_this(), idle = std::move(taken)](ISQLConnection*) mutable
                           { self->GiveBack(std::move(idle)); });
}

void TRecordingReaders::GiveBack(TIdle iIdle)
{
  TIdle surplus; // closing a connection is file work: it goes after the lock is released
  std::lock_guard lock(fMutex);
  if (fIdle.size() < kIdleLimit)
    fIdle.push_back(std::move(iIdle));
  else
    surplus = std::move(iIdle);
}
