#include "app/LoggerMain.h"
#include "app/TapevaultGlobals.h"
#include "audio/AudioDevices.h"
#include "support/JackServer.h"
#include "ui/JACKPage.h"
#include "ui/UiTestRoot.h"

#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QTabBar>
#include <QTreeWidget>
#include <gtest/gtest.h>

namespace
{
// A private JACK server with eight capture ports, listed by the registry as the program's start lists it.
class JACKPageTest : public ::testing::Test
{
protected:
  void SetUp() override
  {
    fServer.Start();
    fServer.ExportName();
    EnumerateDevices(&ConfigFile());
    ASSERT_EQ(JACKDevices().size(), 1u) << "the registry does not list the test's JACK server";
  }
  void TearDown() override { FreeDevices(); }

  // The size column of every row; "-" for a greyed row.
  static std::vector<std::string> Sizes(const TJACKPage& iPage)
  {
    std::vector<std::string> result;
    for (int row = 0; row < iPage.vstJACKChannelBundles->topLevelItemCount(); ++row)
    {
      const QTreeWidgetItem* item = iPage.vstJACKChannelBundles->topLevelItem(row);
      result.push_back(item->isDisabled() ? "-" + item->text(1).toStdString() : item->text(1).toStdString());
    }
    return result;
  }
  static void Answer(TJACKPage& iPage, int iRow, const QString& iAnswer)
  {
    iPage.vstJACKChannelBundlesDblClick(iRow);
    ASSERT_NE(iPage.BundleSizeDialog(), nullptr) << "row " << iRow;
    iPage.BundleSizeDialog()->setTextValue(iAnswer);
    iPage.BundleSizeDialog()->accept();
  }

  TUiTestRoot fRoot{"[JACKDevice0]\nBufferSize=256\nChannelBundle2=1\n"};
  TJackServer fServer;
};

TEST_F(JACKPageTest, BundlesAreEditedAndFormedAtTheNextStart)
{
  TLoggerMain controller;
  TJACKPage page(controller);
  EXPECT_FALSE(page.lblNoServer->isVisibleTo(&page));
  ASSERT_EQ(page.tcJACKChannelBundles->count(), 1);
  EXPECT_EQ(page.tcJACKChannelBundles->tabText(0).toStdString(), JACKDevices()[0]->Name());
  ASSERT_EQ(page.vstJACKChannelBundles->topLevelItemCount(), 8);
  EXPECT_EQ(page.vstJACKChannelBundles->topLevelItem(0)->text(0), "capture_1");
  EXPECT_EQ(page.vstJACKChannelBundles->headerItem()->text(1), "Bundle size");
  using S = std::vector<std::string>;
  EXPECT_EQ(Sizes(page), (S{"2", "-", "1", "2", "-", "2", "-", "1"})) << "the last bundle is cut at the last port";

  // Table of answers: each row's sizes after the answer.
  struct TCase
  {
    int Row;
    QString Answer;
    S Sizes;
  } cases[] = {
      {0, "4", {"4", "-", "-", "-", "1", "2", "-", "1"}}, // channel 4 was inside a bundle: 1 of its own
      {4, "x", {"4", "-", "-", "-", "2", "-", "1", "1"}}, // no number: 2
      {4, "0", {"4", "-", "-", "-", "1", "2", "-", "1"}}, // below 1: 1
      {0, "1", {"1", "1", "1", "2", "-", "2", "-", "1"}}, // the ports it left form bundles of their own
      {5, "9", {"1", "1", "1", "2", "-", "3", "-", "-"}}, // cut at the last port
  };
  for (const TCase& c : cases)
  {
    Answer(page, c.Row, c.Answer);
    EXPECT_EQ(Sizes(page), c.Sizes) << "row " << c.Row << " answer " << c.Answer.toStdString();
  }
  EXPECT_EQ(fRoot.Key("JACKDevice0", "ChannelBundle0"), "1") << "an edited bundle is written at once";
  EXPECT_EQ(fRoot.Key("JACKDevice0", "ChannelBundle4"), "<missing>") << "inside a bundle";
  EXPECT_EQ(fRoot.Key("JACKDevice0", "ChannelBundle5"), "3");

  // A greyed row and Cancel change nothing.
  page.vstJACKChannelBundlesDblClick(4);
  EXPECT_EQ(page.BundleSizeDialog(), nullptr);
  page.vstJACKChannelBundlesDblClick(3);
  ASSERT_NE(page.BundleSizeDialog(), nullptr);
  EXPECT_EQ(page.BundleSizeDialog()->textValue(), "2");
  page.BundleSizeDialog()->setTextValue("8");
  page.BundleSizeDialog()->reject();
  EXPECT_EQ(Sizes(page), cases[4].Sizes);

  // The registry forms the edited bundles at the next start.
  EnumerateDevices(&ConfigFile());
  std::vector<std::string> identifiers;
  for (const TDeviceListEntry& entry : DeviceList().Entries())
    if (entry.Identifier.starts_with("JACK:"))
      identifiers.push_back(entry.Identifier);
  EXPECT_EQ(identifiers, (S{"JACK:0:0:1", "JACK:0:1:1", "JACK:0:2:1", "JACK:0:3:2", "JACK:0:5:3"}));
}

TEST_F(JACKPageTest, LeavingAFieldWritesTheSettings)
{
  TLoggerMain controller;
  TJACKPage page(controller);
  TJACKDeviceInfo& device = *JACKDevices()[0];
  EXPECT_EQ(page.edJACKBufferSize->text(), "256");
  EXPECT_EQ(page.edJACKSampleRate->text(), "0");
  EXPECT_EQ(page.edJACKThreadCount->text(), "1");

  struct TCase
  {
    QLineEdit* Field;
    QString Text;
    const char* Key;
    std::string Stored;
  } cases[] = {
      {page.edJACKBufferSize, "512", "BufferSize", "512"},
      {page.edJACKBufferSize, "abc", "BufferSize", "512"}, // no number: the value stays
      {page.edJACKSampleRate, "48000", "Samplerate", "48000"},
      {page.edJACKThreadCount, " 2 ", "ThreadCount", "2"},
  };
  for (const TCase& c : cases)
  {
    c.Field->setText(c.Text);
    emit c.Field->editingFinished();
    EXPECT_EQ(fRoot.Key("JACKDevice0", c.Key), c.Stored) << c.Key << " " << c.Text.toStdString();
  }
  // In the device at once, for its next client start.
  EXPECT_EQ(device.BufferSize(), 512);
  EXPECT_EQ(device.Samplerate(), 48000);
  EXPECT_EQ(device.ThreadCount(), 2);
  EXPECT_EQ(fRoot.Key("JACKDevice0", "ChannelBundle0"), "2");
}

TEST(JACKPageWithoutServerTest, NoTabsAndNoSection)
{
  TUiTestRoot root;
  FreeDevices();
  TLoggerMain controller;
  TJACKPage page(controller);
  EXPECT_TRUE(page.lblNoServer->isVisibleTo(&page));
  EXPECT_EQ(page.tcJACKChannelBundles->count(), 0);
  EXPECT_EQ(page.vstJACKChannelBundles->topLevelItemCount(), 0);
  EXPECT_FALSE(page.edJACKBufferSize->isEnabled());
  page.vstJACKChannelBundlesDblClick(0);
  EXPECT_EQ(page.BundleSizeDialog(), nullptr);
  controller.FlushGlobalConfig();
  EXPECT_EQ(root.Key("JACKDevice0", "BufferSize"), "<missing>");
}
} // namespace
