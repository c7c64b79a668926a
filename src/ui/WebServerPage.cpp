#include "ui/WebServerPage.h"

#include "app/LoggerMain.h"
#include "ui/MessageBoxes.h"
#include "web/WebAccess.h"
#include "web/WebServer.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>
#include <utility>

namespace
{
QString Text(const std::string& iText)
{
  return QString::fromStdString(iText);
}
} // namespace

TWebServerPage::TWebServerPage(TLoggerMain& iController, QWidget* iParent)
    : QWidget(iParent), fController(iController), fLogChanged(std::make_shared<std::atomic<bool>>(true))
{
  ShowError = [this](const QString& iText) { ShowErrorBox(this, iText); };
  auto* layout = new QVBoxLayout(this);
  auto* gbWebServerSettings = new QGroupBox("Settings");
  auto* form = new QFormLayout(gbWebServerSettings);
  edWebServerPort = new QLineEdit;
  edWebServerAdminUser = new QLineEdit;
  edWebServerAdminPassword = new QLineEdit;
  edWebServerAdminPassword->setEchoMode(QLineEdit::Password);
  edWebServerReadOnlyUser = new QLineEdit;
  edWebServerReadOnlyPassword = new QLineEdit;
  edWebServerReadOnlyPassword->setEchoMode(QLineEdit::Password);
  cbAnonymousAccess = new QComboBox;
  cbAnonymousAccess->addItems({"none", "admin", "read-only"});
  btnWebServerStart = new QPushButton("Start Server");
  btnWebServerStop = new QPushButton("Stop Server");
  form->addRow("Port:", edWebServerPort);
  form->addRow("Admin user:", edWebServerAdminUser);
  form->addRow("Password:", edWebServerAdminPassword);
  form->addRow("Read-only user:", edWebServerReadOnlyUser);
  form->addRow("Password:", edWebServerReadOnlyPassword);
  form->addRow("Anonymous access:", cbAnonymousAccess);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(btnWebServerStart);
  buttons->addWidget(btnWebServerStop);
  buttons->addStretch();
  form->addRow(buttons);
  layout->addWidget(gbWebServerSettings);
  memWebServerLog = new QPlainTextEdit;
  memWebServerLog->setReadOnly(true);
  layout->addWidget(memWebServerLog, 1);

  // The stored hashes stand in the password fields; an untouched field keeps the stored password.
  const TGlobalSettings& settings = fController.Settings();
  edWebServerPort->setText(Text(settings.Port));
  edWebServerAdminUser->setText(Text(settings.AdminUser));
  edWebServerAdminPassword->setText(Text(settings.AdminPasswordHash));
  edWebServerReadOnlyUser->setText(Text(settings.ReadOnlyUser));
  edWebServerReadOnlyPassword->setText(Text(settings.ReadOnlyPasswordHash));
  cbAnonymousAccess->setCurrentIndex(settings.AnonymousAccess);

  for (QLineEdit* field : {edWebServerPort, edWebServerAdminUser, edWebServerAdminPassword, edWebServerReadOnlyUser,
                           edWebServerReadOnlyPassword})
    connect(field, &QLineEdit::editingFinished, this, &TWebServerPage::FieldLeft);
  connect(edWebServerAdminPassword, &QLineEdit::textChanged, this, [this] { fAdminPasswordTyped = true; });
  connect(edWebServerReadOnlyPassword, &QLineEdit::textChanged, this, [this] { fReadOnlyPasswordTyped = true; });
  connect(cbAnonymousAccess, &QComboBox::activated, this, &TWebServerPage::FieldLeft);
  connect(btnWebServerStart, &QPushButton::clicked, this, &TWebServerPage::btnWebServerStartClick);
  connect(btnWebServerStop, &QPushButton::clicked, this, &TWebServerPage::btnWebServerStopClick);

  std::weak_ptr<std::atomic<bool>> changed = fLogChanged;
  fController.WebServer()->Log().SetOnChange(
      [changed]
      {
        if (auto flag = changed.lock())
          flag->store(true);
      });
  connect(&fLogTimer, &QTimer::timeout, this, &TWebServerPage::ShowLog);
  fLogTimer.start(250);
  ShowLog();
  UpdateState();
}

TWebServerPage::~TWebServerPage()
{
  fController.WebServer()->Log().SetOnChange(nullptr);
}

void TWebServerPage::StoreFields()
{
  TGlobalSettings& settings = fController.Settings();
  settings.Port = edWebServerPort->text().toStdString();
  settings.AdminUser = edWebServerAdminUser->text().toStdString();
  settings.ReadOnlyUser = edWebServerReadOnlyUser->text().toStdString();
  if (std::exchange(fAdminPasswordTyped, false))
    settings.AdminPasswordHash = PasswordHash(edWebServerAdminPassword->text().toStdString());
  if (std::exchange(fReadOnlyPasswordTyped, false))
    settings.ReadOnlyPasswordHash = PasswordHash(edWebServerReadOnlyPassword->text().toStdString());
  if (cbAnonymousAccess->currentIndex() >= 0)
    settings.AnonymousAccess = static_cast<TAnonymousAccess>(cbAnonymousAccess->currentIndex());
}

void TWebServerPage::FieldLeft()
{
  StoreFields();
  try
  {
    fController.FlushGlobalConfig();
  }
  catch (const std::exception& e)
  {
    ShowError(Text(e.what()));
  }
}

void TWebServerPage::btnWebServerStartClick()
{
  StoreFields();
  std::string error;
  if (!fController.StartWebServer(error))
    ShowError(Text(error));
  UpdateState();
  ShowLog();
}

void TWebServerPage::btnWebServerStopClick()
{
  fController.StopWebServer();
  UpdateState();
  ShowLog();
}

void TWebServerPage::UpdateState()
{
  const bool active = fController.WebServer()->Active();
  for (QWidget* field : std::initializer_list<QWidget*>{edWebServerPort, edWebServerAdminUser, edWebServerAdminPassword,
                                                        edWebServerReadOnlyUser, edWebServerReadOnlyPassword})
    field->setEnabled(!active);
  btnWebServerStart->setEnabled(!active);
  btnWebServerStop->setEnabled(active);
}

void TWebServerPage::ShowLog()
{
  if (!fLogChanged->exchange(false))
    return;
  QString text;
  for (const std::string& line : fController.WebServer()->Log().Lines())
    text += Text(line) + '\n';
  text.chop(1);
  memWebServerLog->setPlainText(text);
  memWebServerLog->verticalScrollBar()->setValue(memWebServerLog->verticalScrollBar()->maximum());
}
