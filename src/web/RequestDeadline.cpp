#include "web/RequestDeadline.h"

#include <algorithm>
#include <sys/socket.h>

using TClock = std::chrono::steady_clock;

struct TRequestDeadline::TConnection
{
  int Socket;
  std::string Address;
  // In the order of acceptance.
  uint64_t Number;
  // Nothing while a request is being answered or after the connection was cut.
  std::optional<TClock::time_point> Due;
  bool WasCut = false;
};

TRequestDeadline::TRequestDeadline(std::chrono::milliseconds iLimit, size_t iFairTotal)
    : fLimit(iLimit), fFairTotal(iFairTotal), fThread([this] { Run(); })
{
}

TRequestDeadline::~TRequestDeadline()
{
  {
    std::lock_guard lock(fMutex);
    fStopping = true;
  }
  fWake.notify_all();
  fThread.join();
}

TRequestDeadline::TConnection* TRequestDeadline::Watch(int iSocket, std::string iAddress)
{
  auto connection = std::make_unique<TConnection>(TConnection{iSocket, std::move(iAddress), 0, TClock::now() + fLimit});
  TConnection* key = connection.get();
  std::lock_guard lock(fMutex);
  connection->Number = fAccepted++;
  const bool admitted = fCounted < fFairTotal || MakeRoomFor(connection->Address);
  fConnections.emplace(key, std::move(connection));
  ++fCounted;
  if (!admitted)
    Cut(*key);
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
  if (!iConnection->WasCut)
    iConnection->Due = TClock::now() + fLimit;
}

void TRequestDeadline::Forget(TConnection* iConnection)
{
  std::lock_guard lock(fMutex);
  if (!iConnection->WasCut)
    --fCounted;
  fConnections.erase(iConnection);
}

void TRequestDeadline::Cut(TConnection& ioConnection)
{
  ::shutdown(ioConnection.Socket, SHUT_RDWR);
  ioConnection.Due.reset();
  ioConnection.WasCut = true;
  --fCounted;
}

bool TRequestDeadline::MakeRoomFor(const std::string& iAddress)
{
  struct THolding
  {
    size_t Count = 0;
    TConnection* OldestSlow = nullptr;
  };
  std::map<std::string, THolding> holdings;
  for (auto& [key, connection] : fConnections)
  {
    if (connection->WasCut)
      continue;
    THolding& holding = holdings[connection->Address];
    ++holding.Count;
    // Only a connection still waiting for its request is taken: an answer under way is never cut.
    if (connection->Due && (!holding.OldestSlow || connection->Number < holding.OldestSlow->Number))
      holding.OldestSlow = connection.get();
  }
  const size_t newcomer = holdings[iAddress].Count + 1;
  THolding* heaviest = nullptr;
  for (auto& [address, holding] : holdings)
    if (holding.OldestSlow && holding.Count > newcomer &&
        (!heaviest || holding.Count > heaviest->Count ||
         (holding.Count == heaviest->Count && holding.OldestSlow->Number < heaviest->OldestSlow->Number)))
      heaviest = &holding;
  if (!heaviest)
    return false;
  Cut(*heaviest->OldestSlow);
  return true;
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
        Cut(*connection);
  }
}
