#include "support/WebClient.h"
#include "support/WebServerFixture.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace
{
const TWebUser& Admin = WebAdmin;
const TWebUser& Reader = WebViewer;
const std::string Challenge = "Basic realm=\"Brendle Tapevault\"";
} // namespace

// The configuration a first run seeds: anonymous read-only access and an administrator with a password.
class WebLoginTest : public TWebServerFixture
{
protected:
  WebLoginTest() : TWebServerFixture(alReadOnly) { fController.AddSlot("Studio"); }
};

TEST_F(WebLoginTest, AdministratorAnswersChallengeABrowserWithoutCredentials)
{
  const uint16_t port = Port();
  struct TCase
  {
    std::string Method;
    std::string Path;
  };
  const TCase adminOnly[] = {
      {"GET", "/ws/config/slots"},   {"GET", "/ws/config/program"}, {"POST", "/ws/config/slots/0"},
      {"GET", "/execute?command=x"}, {"POST", "/execute"},          {"POST", "/ws/execute"},
  };
  for (const TCase& c : adminOnly)
  {
    const std::vector<std::string> json = {"Content-Type: application/json"};
    const TWebReply reply = WebFetch(port, {.Method = c.Method, .Path = c.Path, .Headers = json, .Body = "{}"});
    EXPECT_EQ(reply.Status, 401) << c.Method << " " << c.Path;
    EXPECT_EQ(reply.Header("WWW-Authenticate"), Challenge) << c.Path;
    // A logged-in read-only user is refused, not asked again.
    EXPECT_NE(WebFetch(port, {.Method = c.Method, .Path = c.Path, .Headers = json, .Body = "{}", .Credentials = Reader})
                  .Status,
              401)
        << c.Path;
  }
  // What anonymous users may read stays open, and the administrator gets everything.
  EXPECT_EQ(WebGet(port, "/ws/slots").Status, 200);
  EXPECT_EQ(WebFetch(port, {.Path = "/ws/config/slots", .Credentials = Admin}).Status, 200);
  EXPECT_TRUE(fController.Switches().empty());

  // Without an administrator there is nobody to log in as: the refusal stays.
  fServer->Stop();
  fController.Settings.Access.AdminUser.clear();
  fController.Settings.Access.AdminPasswordHash.clear();
  EXPECT_EQ(WebGet(Port(), "/ws/config/slots").Status, 403);
}

TEST_F(WebLoginTest, LoginChallengesUntilTheBrowserSendsCredentialsThenReturnsToThePage)
{
  const uint16_t port = Port();
  const TWebReply challenge = WebGet(port, "/login?to=/status.html");
  EXPECT_EQ(challenge.Status, 401);
  EXPECT_EQ(challenge.Header("WWW-Authenticate"), Challenge);
  EXPECT_EQ(WebFetch(port, {.Path = "/login", .Credentials = std::make_pair("admin", "wrong")}).Status, 401);

  const struct
  {
    const char* Query;
    const char* Location;
  } cases[] = {
      {"?to=/status.html", "/status.html"},
      {"?to=%2Fsettings.html%23program", "/settings.html#program"},
      {"", "/index.html"},
      {"?to=//evil.example/", "/index.html"},
      {"?to=https://evil.example/", "/index.html"},
      {"?to=/%5C%5Cevil.example", "/index.html"},
      {"?to=/x%0D%0ASet-Cookie:a=b", "/index.html"},
  };
  for (const auto& c : cases)
  {
    const TWebReply reply = WebFetch(port, {.Path = std::string("/login") + c.Query, .Credentials = Reader});
    EXPECT_EQ(reply.Status, 302) << c.Query;
    EXPECT_EQ(reply.Header("Location"), c.Location) << c.Query;
  }
}

TEST_F(WebLoginTest, AccessNamesTheLoggedInUser)
{
  const uint16_t port = Port();
  const auto access = [&](std::optional<std::pair<std::string, std::string>> iCredentials)
  {
    const TWebReply reply = WebFetch(port, {.Path = "/ws/access", .Credentials = iCredentials});
    EXPECT_EQ(reply.Status, 200);
    return nlohmann::json::parse(reply.Body, nullptr, false);
  };
  EXPECT_EQ(access(std::nullopt)["User"], "");
  EXPECT_EQ(access(std::nullopt)["Level"], "read-only");
  EXPECT_EQ(access(Reader)["User"], "viewer");
  EXPECT_EQ(access(Admin)["User"], "admin");
  EXPECT_EQ(access(Admin)["Level"], "admin");
}

TEST_F(WebLoginTest, EveryAnswerCarriesTheSecurityHeaders)
{
  const uint16_t port = Port();
  const TWebCall calls[] = {
      {.Path = "/index.html"},
      {.Path = "/status.js"},
      {.Path = "/ws/slots"},
      {.Path = "/no/such/page"},
      {.Path = "/ws/config/slots"},
      {.Path = "/ws/slots", .Credentials = std::make_pair("admin", "wrong")},
      {.Method = "POST", .Path = "/execute", .Headers = {"Origin: http://evil.example"}, .Credentials = Admin},
      {.Method = "OPTIONS", .Path = "/index.html", .Credentials = Admin},
      {.Method = "HEAD", .Path = "/index.html"},
  };
  for (const TWebCall& call : calls)
  {
    const TWebReply reply = WebFetch(port, call);
    const std::string name = call.Method + " " + call.Path + " " + std::to_string(reply.Status);
    const std::string policy = reply.Header("Content-Security-Policy").value_or("");
    EXPECT_NE(policy.find("script-src 'self';"), std::string::npos) << name;
    EXPECT_NE(policy.find("frame-ancestors 'none'"), std::string::npos) << name;
    EXPECT_EQ(policy.find("unsafe-eval"), std::string::npos) << name;
    EXPECT_EQ(reply.Header("X-Frame-Options"), "DENY") << name;
    EXPECT_EQ(reply.Header("X-Content-Type-Options"), "nosniff") << name;
    EXPECT_EQ(reply.Header("Referrer-Policy"), "same-origin") << name;
  }
}
