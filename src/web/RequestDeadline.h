#pragma once
// Closes a connection whose request has not arrived whole (headers and body) within a time limit, counted
// from the connection's start or from the end of its previous answer. The HTTP engine only times out
// connections that are idle, and a client that sends a byte now and then never is; many such clients would
// hold every connection the server allows.

#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

class TRequestDeadline
{
public:
  struct TConnection;

  explicit TRequestDeadline(std::chrono::milliseconds iLimit);
  ~TRequestDeadline();
  TRequestDeadline(const TRequestDeadline&) = delete;
  TRequestDeadline& operator=(const TRequestDeadline&) = delete;

  // A connection was accepted on iSocket: its first request's time starts.
  TConnection* Watch(int iSocket);
  // Its request arrived whole and is being answered: no limit until the answer is sent.
  void Arrived(TConnection* iConnection);
  // Its answer was sent: the next request's time starts.
  void Answered(TConnection* iConnection);
  // The connection ends; called before its socket is closed, so that a socket number is never used after
  // it may have been given to another connection.
  void Forget(TConnection* iConnection);

private:
  void Run();

  const std::chrono::milliseconds fLimit;
  std::mutex fMutex;
  std::condition_variable fWake;
  bool fStopping = false;
  std::map<TConnection*, std::unique_ptr<TConnection>> fConnections;
  std::thread fThread;
};
