#include "web/RequestDeadline.h"

#include <algorithm>
#include <sys/socket.h>

using TClock = std::chrono::steady_clock;

struct TRequestDeadline::TConnection
{
  int Socket;
  // Nothing while a request is being answered or after the connection was cut.
  std::optional<TClock::time_point> Due;
};

TRequestDeadline::TRequestDeadline(std::chrono::milliseconds iLimit) : fLimit(iLimit), fThread([this] { Run(); }) {}

TRequestDeadline::~TRequestDeadline()
{
  {
    std::lock_guard lock(fMutex);
    fStopping = true;
  }
  fWake.notify_all();
  fThread.join();
}

TRequestDeadline::TConnection* TRequestDeadline::Watch(int iSocket)
{
  auto connection = std::make_unique<TConnection>(TConnection{iSocket, TClock::now() + fLimit});
  TConnection* key = connection.get();
  std::lock_guard lock(fMutex);
  fConnections.emplace(key, std::move(connection));
  return key;
}

void TRequestDeadline::Arrived(TConnection* iConnection)
{
  std::lock_guard lock(fMutex);
  iConnection->Due.reset();
}

void TRequestDeadline::Answered(TConnection* iConnection)
{
  std::lock_guard lock(fMutex);
  iConnection->Due = TClock::now() + fLimit;
}

void TRequestDeadline::Forget(TConnection* iConnection)
{
  std::lock_guard lock(fMutex);
  fConnections.erase(iConnection);
}

void TRequestDeadline::Run()
{
  // A check a few times per limit is precise enough and costs nothing.
  const auto interval =
      std::clamp<std::chrono::milliseconds>(fLimit / 8, std::chrono::milliseconds(50), std::chrono::milliseconds(1000));
  std::unique_lock lock(fMutex);
  while (!fWake.wait_for(lock, interval, [this] { return fStopping; }))
  {
    const auto now = TClock::now();
    for (auto& [key, connection] : fConnections)
      if (connection->Due && *connection->Due <= now)
      {
        // The engine's thread of this connection then reads the end of the stream and closes it.
        ::shutdown(connection->Socket, SHUT_RDWR);
        connection->Due.reset();
      }
  }
}
