#include "ui/EMailPage.h"

#include "app/LoggerMain.h"
#include "notify/AlarmEmail.h"
#include "ui/MessageBoxes.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace
{
QString Text(const std::string& iText)
{
  return QString::fromStdString(iText);
}
} // namespace

TEMailPage::TEMailPage(TLoggerMain& iController, QWidget* iParent) : QWidget(iParent), fController(iController)
{
  ShowError = [this](const QString& iText) { ShowErrorBox(this, iText); };
  ShowInformation = [this](const QString& iText) { ShowInformationBox(this, iText); };
  auto* layout = new QVBoxLayout(this);
  auto* gbEmailSettings = new QGroupBox("E-Mail Settings");
  auto* form = new QFormLayout(gbEmailSettings);
  edEMailSMTPServer = new QLineEdit;
  edEMailSMTPPort = new QLineEdit;
  cbEmailEncryption = new QComboBox;
  cbEmailEncryption->addItems({"none", "STARTTLS", "SSL"});
  cbEmailVerifyCertificate = new QCheckBox("Verify the server's certificate");
  edEmailUser = new QLineEdit;
  edEmailPassword = new QLineEdit;
  edEmailPassword->setEchoMode(QLineEdit::Password);
  edEMailFromAddress = new QLineEdit;
  edEMailRecipients = new QLineEdit;
  btnEmailTest = new QPushButton("Send Test E-Mail");
  form->addRow("SMTP server:", edEMailSMTPServer);
  form->addRow("Port:", edEMailSMTPPort);
  form->addRow("Encryption:", cbEmailEncryption);
  form->addRow(cbEmailVerifyCertificate);
  form->addRow("Auth User:", edEmailUser);
  form->addRow("Password:", edEmailPassword);
  form->addRow("From address:", edEMailFromAddress);
  form->addRow("Recipients:", edEMailRecipients);
  form->addRow(btnEmailTest);
  layout->addWidget(gbEmailSettings);
  layout->addStretch();

  const TGlobalSettings& settings = fController.Settings();
  edEMailSMTPServer->setText(Text(settings.SMTPServer));
  edEMailSMTPPort->setText(Text(settings.SMTPPort));
  cbEmailEncryption->setCurrentIndex(settings.Encryption);
  cbEmailVerifyCertificate->setChecked(settings.VerifyCertificate);
  edEmailUser->setText(Text(settings.User));
  edEmailPassword->setText(Text(settings.Password));
  edEMailFromAddress->setText(Text(settings.FromAddress));
  edEMailRecipients->setText(Text(settings.Receipients));

  for (QLineEdit* field :
       {edEMailSMTPServer, edEMailSMTPPort, edEmailUser, edEmailPassword, edEMailFromAddress, edEMailRecipients})
    connect(field, &QLineEdit::editingFinished, this, &TEMailPage::FieldLeft);
  // The encryption is stored by the next write of the global keys.
  connect(cbEmailEncryption, &QComboBox::currentIndexChanged, this, &TEMailPage::StoreFields);
  connect(cbEmailVerifyCertificate, &QCheckBox::toggled, this, &TEMailPage::FieldLeft);
  connect(btnEmailTest, &QPushButton::clicked, this, &TEMailPage::btnEmailTestClick);
}

TEMailPage::~TEMailPage()
{
  if (fTestThread.joinable())
    fTestThread.join();
}

void TEMailPage::StoreFields()
{
  TGlobalSettings& settings = fController.Settings();
  settings.SMTPServer = edEMailSMTPServer->text().toStdString();
  settings.SMTPPort = edEMailSMTPPort->text().toStdString();
  if (cbEmailEncryption->currentIndex() >= 0)
    settings.Encryption = static_cast<TEmailEncryption>(cbEmailEncryption->currentIndex());
  settings.VerifyCertificate = cbEmailVerifyCertificate->isChecked();
  settings.User = edEmailUser->text().toStdString();
  settings.Password = edEmailPassword->text().toStdString();
  settings.FromAddress = edEMailFromAddress->text().toStdString();
  settings.Receipients = edEMailRecipients->text().toStdString();
}

void TEMailPage::FieldLeft()
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

void TEMailPage::btnEmailTestClick()
{
  if (fTestThread.joinable())
    fTestThread.join();
  StoreFields();
  const TEmailSettings email = EmailAccount(fController.Settings());
  btnEmailTest->setEnabled(false);
  fTestThread = std::thread(
      [this, email]
      {
        QString error;
        try
        {
          SendTestEmail(email);
        }
        catch (const std::exception& e)
        {
          error = Text(e.what());
        }
        QMetaObject::invokeMethod(
            this, [this, error] { TestFinished(error); }, Qt::QueuedConnection);
      });
}

void TEMailPage::TestFinished(const QString& iError)
{
  btnEmailTest->setEnabled(true);
  if (iError.isEmpty())
    ShowInformation(TestEmailSentText);
  else
    ShowError(iError);
}
