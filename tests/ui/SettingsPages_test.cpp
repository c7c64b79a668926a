#include "app/LoggerMain.h"
#include "ui/AboutPage.h"
#include "ui/EMailPage.h"
#include "ui/UiTestRoot.h"
#include "ui/WebServerPage.h"
#include "web/WebAccess.h"
#include "web/WebServer.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTcpServer>
#include <QTest>
#include <gtest/gtest.h>

namespace
{
void Leave(QLineEdit* iField, const QString& iText)
{
  iField->setText(iText);
  emit iField->editingFinished();
}

TEST(WebServerPageTest, LeavingAFieldWritesTheSettings)
{
  TUiTestRoot root(
      "[Webserver]\nAdminPassword=STOREDHASH\nCertificateFile=/etc/tv/cert.pem\nKeyFile=/etc/tv/key.pem\n");
  TLoggerMain controller;
  TWebServerPage page(controller);
  EXPECT_EQ(controller.WebServerSettings().CertificateFile, "/etc/tv/cert.pem");
  EXPECT_EQ(controller.WebServerSettings().KeyFile, "/etc/tv/key.pem");
  EXPECT_EQ(page.edWebServerPort->text(), "5252");
  EXPECT_EQ(page.edWebServerAdminPassword->text(), "STOREDHASH");

  Leave(page.edWebServerPort, "127.0.0.1:5300");
  EXPECT_EQ(root.Key("Webserver", "Port"), "127.0.0.1:5300");
  Leave(page.edWebServerAdminUser, "boss");
  EXPECT_EQ(root.Key("Webserver", "AdminUser"), "boss");
  EXPECT_EQ(root.Key("Webserver", "AdminPassword"), "STOREDHASH") << "an untouched field keeps the stored hash";
  Leave(page.edWebServerAdminPassword, "secret");
  const std::string stored = root.Key("Webserver", "AdminPassword");
  EXPECT_TRUE(stored.starts_with("pbkdf2-sha256$")) << stored;
  EXPECT_TRUE(PasswordMatches("secret", stored)) << stored;
  Leave(page.edWebServerAdminUser, "chief");
  EXPECT_EQ(root.Key("Webserver", "AdminPassword"), stored) << "a typed password is hashed once, when stored";
  Leave(page.edWebServerAdminPassword, "");
  EXPECT_TRUE(PasswordMatches("", root.Key("Webserver", "AdminPassword"))) << "a cleared field stores the empty hash";
  EXPECT_EQ(root.Key("Webserver", "ReadOnlyPassword"), "");
  page.cbAnonymousAccess->setCurrentIndex(2);
  emit page.cbAnonymousAccess->activated(2);
  EXPECT_EQ(root.Key("Webserver", "AnonymousAccess"), "ReadOnly");
}

TEST(WebServerPageTest, StartAndStopServer)
{
  TUiTestRoot root;
  TLoggerMain controller;
  TWebServerPage page(controller);
  QStringList errors;
  page.ShowError = [&](const QString& iText) { errors << iText; };
  EXPECT_TRUE(page.btnWebServerStart->isEnabled());
  EXPECT_FALSE(page.btnWebServerStop->isEnabled());

  page.edWebServerPort->setText("127.0.0.1:0");
  page.btnWebServerStartClick();
  ASSERT_TRUE(controller.WebServer()->Active()) << errors.join("; ").toStdString();
  EXPECT_FALSE(page.btnWebServerStart->isEnabled());
  EXPECT_TRUE(page.btnWebServerStop->isEnabled());
  EXPECT_FALSE(page.edWebServerPort->isEnabled());
  EXPECT_TRUE(page.cbAnonymousAccess->isEnabled());
  EXPECT_EQ(root.Key("Webserver", "Enabled"), "on");
  EXPECT_TRUE(page.memWebServerLog->toPlainText().endsWith("Web server started"));

  page.btnWebServerStopClick();
  EXPECT_FALSE(controller.WebServer()->Active());
  EXPECT_TRUE(page.edWebServerPort->isEnabled());
  EXPECT_TRUE(page.btnWebServerStart->isEnabled());
  EXPECT_EQ(root.Key("Webserver", "Enabled"), "off");
  EXPECT_TRUE(page.memWebServerLog->toPlainText().endsWith("Web server stopped"));
  EXPECT_TRUE(errors.isEmpty());

  // A port in use: the error is shown and logged, the page stays stopped.
  QTcpServer occupied;
  ASSERT_TRUE(occupied.listen(QHostAddress::LocalHost));
  page.edWebServerPort->setText(QString("127.0.0.1:%1").arg(occupied.serverPort()));
  page.btnWebServerStartClick();
  EXPECT_FALSE(controller.WebServer()->Active());
  ASSERT_EQ(errors.size(), 1);
  EXPECT_TRUE(errors[0].startsWith("Error starting web server: ")) << errors[0].toStdString();
  EXPECT_TRUE(page.btnWebServerStart->isEnabled());
  EXPECT_TRUE(page.memWebServerLog->toPlainText().contains("Error starting web server: "));
}

TEST(EMailPageTest, FieldsEncryptionAndTestEmail)
{
  TUiTestRoot root;
  TLoggerMain controller;
  TEMailPage page(controller);
  EXPECT_EQ(page.edEMailSMTPPort->text(), "25");
  EXPECT_EQ(page.cbEmailEncryption->currentText(), "none");

  Leave(page.edEMailSMTPServer, "127.0.0.1");
  Leave(page.edEMailSMTPPort, "1");
  Leave(page.edEMailRecipients, "ops@example.org");
  EXPECT_EQ(root.Key("EMail", "SMTPServer"), "127.0.0.1");
  EXPECT_EQ(root.Key("EMail", "Receipients"), "ops@example.org");
  page.cbEmailEncryption->setCurrentIndex(1);
  EXPECT_EQ(root.Key("EMail", "Encryption"), "none") << "stored only by the next write";
  Leave(page.edEMailFromAddress, "tv@example.org");
  EXPECT_EQ(root.Key("EMail", "Encryption"), "STARTTLS");
  // The certificate check is on unless turned off; a click is written at once.
  EXPECT_TRUE(page.cbEmailVerifyCertificate->isChecked());
  page.cbEmailVerifyCertificate->click();
  EXPECT_EQ(root.Key("EMail", "VerifyCertificate"), "off");
  EXPECT_FALSE(EmailAccount(controller.Settings()).Certificate.Verify);

  // Nobody listens on port 1: the error reaches the user, no confirmation.
  QStringList errors, confirmations;
  page.ShowError = [&](const QString& iText) { errors << iText; };
  page.ShowInformation = [&](const QString& iText) { confirmations << iText; };
  page.btnEmailTestClick();
  EXPECT_FALSE(page.btnEmailTest->isEnabled());
  EXPECT_TRUE(QTest::qWaitFor([&] { return !errors.isEmpty(); }, 30000));
  EXPECT_TRUE(confirmations.isEmpty());
  EXPECT_TRUE(page.btnEmailTest->isEnabled());
}

TEST(AboutPageTest, NameAndVersion)
{
  TAboutPage page;
  TProgramVersion version;
  ProgramVersion(version);
  EXPECT_EQ(page.lblVersion->text(), QString::asprintf("Version %d.%d.%d Build %d", version.Major, version.Minor,
                                                       version.Release, version.Build));
}
} // namespace
