#include "web/RequestDeadline.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

using namespace std::chrono_literals;

namespace
{
// One end of a socket pair stands for a connection's socket; the other tells whether it was cut.
struct TSocketPair
{
  int Server = -1;
  int Client = -1;
  TSocketPair()
  {
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) == 0)
    {
      Server = ends[0];
      Client = ends[1];
    }
  }
  ~TSocketPair()
  {
    ::close(Server);
    ::close(Client);
  }
  TSocketPair(const TSocketPair&) = delete;
  TSocketPair& operator=(const TSocketPair&) = delete;
  bool Cut() const
  {
    pollfd poll{Client, POLLIN, 0};
    return ::poll(&poll, 1, 0) > 0;
  }
};
} // namespace

TEST(RequestDeadline, AtTheFairTotalTheHeaviestAddressMakesRoom)
{
  struct TOpen
  {
    const char* Address;
    bool Answering;
  };
  struct TCase
  {
    const char* Name;
    std::vector<TOpen> Open;
    const char* Newcomer;
    // The index in Open of the connection cut; Open.size() for the newcomer itself; -1: nobody.
    int Cut;
  };
  const TCase cases[] = {
      {"below the total", {{"a", false}, {"a", false}, {"b", false}}, "c", -1},
      {"a new address", {{"b", false}, {"a", false}, {"a", false}, {"a", false}}, "c", 1},
      {"the heaviest address itself", {{"a", false}, {"a", false}, {"a", false}, {"b", false}}, "a", 4},
      {"an address as heavy as the newcomer would be",
       {{"a", false}, {"a", false}, {"b", false}, {"b", false}},
       "b",
       4},
      {"equal holdings: the oldest slow one", {{"b", false}, {"a", false}, {"a", false}, {"b", false}}, "c", 0},
      {"answers under way are never cut", {{"a", true}, {"a", true}, {"a", true}, {"b", false}}, "c", 4},
      {"the oldest slow one of the heaviest", {{"a", true}, {"a", false}, {"a", false}, {"b", false}}, "c", 1},
      {"one connection each", {{"a", false}, {"b", false}, {"c", false}, {"d", false}}, "e", 4},
  };
  for (const TCase& test : cases)
  {
    TRequestDeadline deadline(60s, 4);
    std::vector<std::unique_ptr<TSocketPair>> sockets;
    std::vector<TRequestDeadline::TConnection*> connections;
    for (const TOpen& open : test.Open)
    {
      sockets.push_back(std::make_unique<TSocketPair>());
      ASSERT_GE(sockets.back()->Server, 0);
      connections.push_back(deadline.Watch(sockets.back()->Server, open.Address));
      if (open.Answering)
        deadline.Arrived(connections.back());
    }
    sockets.push_back(std::make_unique<TSocketPair>());
    connections.push_back(deadline.Watch(sockets.back()->Server, test.Newcomer));
    for (size_t i = 0; i < sockets.size(); ++i)
      EXPECT_EQ(sockets[i]->Cut(), static_cast<int>(i) == test.Cut) << test.Name << ", connection " << i;
    for (TRequestDeadline::TConnection* connection : connections)
      deadline.Forget(connection);
  }
}

TEST(RequestDeadline, ClosedConnectionsMakeRoomAgain)
{
  TRequestDeadline deadline(60s, 2);
  TSocketPair first, second, third, fourth;
  TRequestDeadline::TConnection* a = deadline.Watch(first.Server, "a");
  deadline.Watch(second.Server, "a");
  TRequestDeadline::TConnection* cut = deadline.Watch(third.Server, "a");
  EXPECT_TRUE(third.Cut());
  deadline.Forget(cut);
  deadline.Forget(a);
  deadline.Watch(fourth.Server, "a");
  EXPECT_FALSE(first.Cut() || second.Cut() || fourth.Cut()) << "a cut connection and a closed one count no more";
}
