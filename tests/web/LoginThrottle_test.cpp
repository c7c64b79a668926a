#include "support/WebTestController.h"
#include "web/LoginThrottle.h"
#include "web/WebDispatcher.h"
#include "web/WebResources.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace
{
// A clock the test moves by hand.
struct TTestClock
{
  TLoginThrottle::TClock::time_point Now{};
  TLoginThrottle::TNow Reader()
  {
    return [this] { return Now; };
  }
};
} // namespace

TEST(LoginThrottle, FailuresSpreadBeyondTheWindowNeverLock)
{
  TTestClock clock;
  TLoginThrottle throttle(clock.Reader());
  for (int i = 0; i < 20; ++i)
  {
    EXPECT_FALSE(throttle.Failed("192.0.2.7")) << i;
    EXPECT_FALSE(throttle.RefusedFor("192.0.2.7")) << i;
    clock.Now += 16s;
  }
  clock.Now += 60s;
  for (size_t i = 1; i < TLoginThrottle::MaxFailures; ++i)
    EXPECT_FALSE(throttle.Failed("192.0.2.7"));
  EXPECT_TRUE(throttle.Failed("192.0.2.7")) << "five within a minute";
  EXPECT_EQ(throttle.RefusedFor("192.0.2.7"), 60s);
  clock.Now += 59500ms;
  EXPECT_EQ(throttle.RefusedFor("192.0.2.7"), 1s) << "rounded up";
  clock.Now += 500ms;
  EXPECT_FALSE(throttle.RefusedFor("192.0.2.7"));
  EXPECT_EQ(throttle.Counts().FailedLogins, 25u);
  EXPECT_EQ(throttle.Counts().LockOuts, 1u);
}

class LoginLockOutTest : public testing::Test
{
protected:
  LoginLockOutTest()
      : fDispatcher(fController, AccessOnly({"admin", PasswordHash("adminpw"), "", "", alNone}),
                    TStaticContent((fController.Root() / "static").string(), TWebResources::Instance()),
                    fClock.Reader())
  {
  }

  int Status(const std::string& iAddress, const std::string& iPassword, std::string* oRetryAfter = nullptr)
  {
    TWebRequest request;
    request.Method = "GET";
    request.Path = "/index.html";
    request.HasAuthorization = true;
    request.Credentials = TWebCredentials{"admin", iPassword};
    request.ClientAddress = iAddress;
    const TWebResponse response = fDispatcher.CommandGet(request);
    for (const auto& [name, value] : response.Headers)
      if (name == "Retry-After" && oRetryAfter)
        *oRetryAfter = value;
    return response.Status;
  }

  TTestClock fClock;
  TWebTestController fController;
  TWebDispatcher fDispatcher;
};

TEST_F(LoginLockOutTest, FiveWrongPasswordsLockTheAddressForAMinute)
{
  EXPECT_EQ(Status("192.0.2.7", "adminpw"), 200);
  for (int i = 0; i < 5; ++i)
  {
    EXPECT_EQ(Status("192.0.2.7", "guess" + std::to_string(i)), 401) << i;
    fClock.Now += 10s;
  }
  std::string retryAfter;
  EXPECT_EQ(Status("192.0.2.7", "adminpw", &retryAfter), 429) << "even the right password";
  EXPECT_EQ(retryAfter, "50");
  EXPECT_EQ(Status("192.0.2.8", "adminpw"), 200) << "another address";
  EXPECT_EQ(Status("2001:db8::7", "adminpw"), 200) << "another address";
  TWebRequest other;
  other.Method = "DELETE";
  other.ClientAddress = "192.0.2.7";
  EXPECT_EQ(fDispatcher.CommandOther(other).Status, 429) << "every method";
  EXPECT_EQ(fController.Log(), std::vector<std::string>{"Too many failed logins from 192.0.2.7; refused for 60 s"});

  TWebRequest metricsRequest;
  metricsRequest.Method = "GET";
  metricsRequest.Path = "/metrics";
  metricsRequest.HasAuthorization = true;
  metricsRequest.Credentials = TWebCredentials{"admin", "adminpw"};
  metricsRequest.ClientAddress = "192.0.2.8";
  const TWebResponse metricsAnswer = fDispatcher.CommandGet(metricsRequest);
  ASSERT_EQ(metricsAnswer.Status, 200);
  const std::string metrics = std::get<std::string>(metricsAnswer.Body);
  EXPECT_NE(metrics.find("\ntapevault_web_failed_logins_total 5\n"), std::string::npos) << metrics;
  EXPECT_NE(metrics.find("\ntapevault_web_login_lockouts_total 1\n"), std::string::npos) << metrics;

  fClock.Now += 50s;
  EXPECT_EQ(Status("192.0.2.7", "adminpw"), 200) << "a minute after the lock-out began";
  EXPECT_EQ(Status("192.0.2.7", "wrong"), 401) << "counting starts anew";
  EXPECT_EQ(fController.Log().size(), 1u);
}

TEST_F(LoginLockOutTest, RequestsWithoutCredentialsAreNoFailedLogins)
{
  TWebRequest anonymous;
  anonymous.Method = "GET";
  anonymous.Path = "/index.html";
  anonymous.ClientAddress = "192.0.2.7";
  for (int i = 0; i < 10; ++i)
    EXPECT_EQ(fDispatcher.CommandGet(anonymous).Status, 401);
  EXPECT_EQ(Status("192.0.2.7", "adminpw"), 200);
}
