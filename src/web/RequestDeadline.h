#pragma once
// What slow connections may hold of the server. A connection whose request has not arrived whole (headers and
// body) within a time limit, counted from the connection's start or from the end of its previous answer, is
// closed: the HTTP engine only times out connections that are idle, and a client that sends a byte now and then
// never is; many such clients would hold every connection the server allows.
// And once the connections reach a fair total, a client address that holds fewer than another still gets in:
// the oldest slow connection of the address that holds the most makes room. A few addresses with many slow
// connections therefore never lock everyone else out until their deadline.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

class TRequestDeadline
{
public:
  struct TConnection;

  // iFairTotal: the connections counted before one makes room for another (the engine's own limit must lie
  // above it, since a connection that was cut is open until its thread closes it).
  TRequestDeadline(std::chrono::milliseconds iLimit, size_t iFairTotal);
  ~TRequestDeadline();
  TRequestDeadline(const TRequestDeadline&) = delete;
  TRequestDeadline& operator=(const TRequestDeadline&) = delete;

  // A connection from iAddress was accepted on iSocket: its first request's time starts. At the fair total it
  // either cuts another address's connection or is cut itself.
  TConnection* Watch(int iSocket, std::string iAddress);
  // Its request arrived whole and is being answered: no limit until the answer is sent.
  void Arrived(TConnection* iConnection);
  // Its answer was sent: the next request's time starts.
  void Answered(TConnection* iConnection);
  // The connection ends; called before its socket is closed, so that a socket number is never used after
  // it may have been given to another connection.
  void Forget(TConnection* iConnection);

private:
  void Run();
  // Under fMutex: ends the connection's socket (the engine's thread then reads the end of the stream and closes
  // it) and stops counting it.
  void Cut(TConnection& ioConnection);
  // Under fMutex, at the fair total: cuts the connection that makes room for one more from iAddress; false when
  // none should.
  bool MakeRoomFor(const std::string& iAddress);

  const std::chrono::milliseconds fLimit;
  const size_t fFairTotal;
  std::mutex fMutex;
  std::condition_variable fWake;
  bool fStopping = false;
  std::map<TConnection*, std::unique_ptr<TConnection>> fConnections;
  // Connections not cut.
  size_t fCounted = 0;
  uint64_t fAccepted = 0;
  std::thread fThread;
};
