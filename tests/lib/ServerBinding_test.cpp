#include "lib/ServerBinding.h"

#include <gtest/gtest.h>

TEST(ServerBinding, PortTexts)
{
  struct TCase
  {
    const char* Text;
    uint16_t DefaultBefore;
    const char* Address;
    uint16_t Port;
    uint16_t DefaultAfter;
  };
  const TCase cases[] = {
      {"127.0.0.1:8080", 5252, "127.0.0.1", 8080, 5252},
      {":8080", 5252, "", 8080, 5252},
      {"8080", 5252, "", 8080, 8080},
      {"abc", 8080, "", 8080, 8080},
      {"", 5252, "", 5252, 5252},
      {"host:name:5300", 5252, "host:name", 5300, 5252},
      {"::1:5300", 5252, "::1", 5300, 5252},
      {"[::1]:5300", 5252, "::1", 5300, 5252},
      {"127.0.0.1:abc", 5252, "", 5252, 5252},
  };
  for (const TCase& test : cases)
  {
    uint16_t defaultPort = test.DefaultBefore;
    const TServerBinding binding = ServerBindingFromText(test.Text, defaultPort);
    EXPECT_EQ(binding.Address, test.Address) << test.Text;
    EXPECT_EQ(binding.Port, test.Port) << test.Text;
    EXPECT_EQ(defaultPort, test.DefaultAfter) << test.Text;
  }
}

TEST(ServerBinding, PortOutOfRangeIsAnError)
{
  uint16_t defaultPort = 5252;
  EXPECT_THROW(ServerBindingFromText("70000", defaultPort), std::runtime_error);
  EXPECT_THROW(ServerBindingFromText("127.0.0.1:99999999999", defaultPort), std::runtime_error);
  EXPECT_EQ(defaultPort, 5252);
}

TEST(ServerBinding, BindErrorsAreReadable)
{
  uint16_t port = 0;
  TFileHandle first = OpenListenSocket({"127.0.0.1", 0}, port);
  ASSERT_TRUE(first.Valid());
  ASSERT_NE(port, 0);
  uint16_t ignored = 0;
  try
  {
    OpenListenSocket({"127.0.0.1", port}, ignored);
    FAIL() << "second bind succeeded";
  }
  catch (const std::runtime_error& error)
  {
    EXPECT_EQ(std::string(error.what()),
              "Could not bind socket to 127.0.0.1:" + std::to_string(port) + ": Address already in use");
  }
  try
  {
    OpenListenSocket({"192.0.2.1", 0}, ignored);
    FAIL() << "bound a foreign address";
  }
  catch (const std::runtime_error& error)
  {
    EXPECT_EQ(std::string(error.what()), "Could not bind socket to 192.0.2.1:0: Cannot assign requested address");
  }
  EXPECT_THROW(OpenListenSocket({"no.such.host.invalid", 0}, ignored), std::runtime_error);
}
