#pragma once
// A real web server on a loopback port over a test controller, with an administrator and a read-only user. It
// starts at the first use of Port(), so that a test can change the settings before, and again after a Stop().

#include "support/WebTestController.h"
#include "web/WebServer.h"

#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <utility>

using TWebUser = std::pair<std::string, std::string>;
inline const TWebUser WebAdmin{"admin", "admin-secret"};
inline const TWebUser WebViewer{"viewer", "viewer-secret"};

class TWebServerFixture : public testing::Test
{
protected:
  // iAnonymous: the level of requests without credentials.
  explicit TWebServerFixture(TAccessLevel iAnonymous)
  {
    fController.Settings.Port = "127.0.0.1:0";
    fController.Settings.Access = {WebAdmin.first, PasswordHash(WebAdmin.second), WebViewer.first,
                                   PasswordHash(WebViewer.second), iAnonymous};
    fServer = std::make_unique<TWebServer>(fController, (fController.Root() / "static").string());
  }

  uint16_t Port()
  {
    if (!fServer->Active())
    {
      std::string error;
      EXPECT_TRUE(fServer->Start(error)) << error;
    }
    return fServer->Port();
  }

  TWebTestController fController;
  std::unique_ptr<TWebServer> fServer;
};
