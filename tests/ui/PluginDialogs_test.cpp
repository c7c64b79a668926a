// The slot dialog's sound-processing plug-in: "Reload" with the stored path, the controls dialog built from the
// plug-in's ports that changes the running plug-in and stores on OK, and the chooser of installed plug-ins.

#include "audio/engine/LadspaPlugin.h"
#include "slots/SlotInfo.h"
#include "support/SettingsTempFolder.h"
#include "support/SlotSettingsEdit.h"
#include "ui/ConfigureSlot.h"
#include "ui/PluginChooser.h"
#include "ui/PluginControls.h"

#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QTreeWidget>
#include <filesystem>
#include <gtest/gtest.h>

namespace
{
class PluginDialogsTest : public ::testing::Test
{
protected:
  void SetUp() override
  {
    TSettingsTempFolder::WriteFile(fFile, "[Slot0]\nName=Morning\nSource=None\nFolder=" + fFolder / "rec" +
                                              "\nWinampPlugin=fast_lookahead_limiter_1913.so\n"
                                              "WinampPluginControls=Limit (dB)=-6\n");
    fIni = std::make_unique<TIniFile>(fFile);
    fSlot = std::make_unique<TSlotInfo>(*fIni, 0, false);
  }
  TSettingsTempFolder fFolder;
  std::string fFile = fFolder / "Tapevault.ini";
  std::unique_ptr<TIniFile> fIni;
  std::unique_ptr<TSlotInfo> fSlot;
};

TEST_F(PluginDialogsTest, ReloadUsesTheStoredPathAndEnablesConfigure)
{
  TConfigureSlotForm dialog(*fSlot);
  EXPECT_FALSE(dialog.btnWinampPluginConfigure->isEnabled()) << "nothing loaded before Initialize";
  fSlot->Initialize();
  // An unsaved path in the field: Reload still loads the stored one.
  dialog.edWinampPlugin->setText("/usr/lib/ladspa/amp.so:amp_mono");
  dialog.btnWinampPluginReload->click();
  ASSERT_NE(fSlot->SoundPlugin().Plugin(), nullptr);
  EXPECT_EQ(fSlot->SoundPlugin().Plugin()->Label(), "fastLookaheadLimiter");
  EXPECT_TRUE(dialog.btnWinampPluginConfigure->isEnabled());

  // Configure opens the controls of the running plug-in.
  bool opened = false;
  dialog.OpenDialog = [&](QDialog& iDialog)
  {
    opened = dynamic_cast<TPluginControlsForm*>(&iDialog) != nullptr;
    return int(QDialog::Rejected);
  };
  dialog.btnWinampPluginConfigure->click();
  EXPECT_TRUE(opened);
}

TEST_F(PluginDialogsTest, ControlsChangeTheRunningPluginAndAreStoredOnOk)
{
  fSlot->Initialize();
  TLadspaPlugin& plugin = *fSlot->SoundPlugin().Plugin();
  for (bool confirm : {false, true})
  {
    TPluginControlsForm form(*fSlot);
    ASSERT_EQ(form.Editors.size(), 5u);
    // Both bounds: a slider beside the spin box; outputs: labels.
    auto* limit = form.Editors[1]->findChild<QDoubleSpinBox*>();
    auto* slider = form.Editors[1]->findChild<QSlider*>();
    ASSERT_TRUE(limit && slider);
    EXPECT_EQ(form.Editors[1]->objectName(), "Limit (dB)");
    EXPECT_DOUBLE_EQ(limit->value(), -6.0);
    EXPECT_EQ(limit->minimum(), -20.0);
    EXPECT_EQ(limit->maximum(), 0.0);
    auto* latency = qobject_cast<QLabel*>(form.Editors[4]);
    ASSERT_TRUE(latency);
    EXPECT_TRUE(latency->text().endsWith(" samples")) << latency->text().toStdString();

    limit->setValue(-14.5);
    EXPECT_FLOAT_EQ(plugin.Control(1), -14.5f) << "the running plug-in follows at once";
    EXPECT_EQ(slider->value(), 275);
    slider->setValue(1000);
    emit slider->sliderMoved(1000);
    EXPECT_FLOAT_EQ(plugin.Control(1), 0.0f);
    if (confirm)
      form.accept();
    else
      form.reject();
    EXPECT_EQ(fSlot->Settings().Plugin.Controls,
              confirm ? "Input gain (dB)=0;Limit (dB)=0;Release time (s)=0.507499993" : "Limit (dB)=-6");
    EXPECT_FLOAT_EQ(plugin.Control(1), confirm ? 0.0f : -6.0f);
  }
}

TEST_F(PluginDialogsTest, IntegerPortsGetSpinBoxes)
{
  EditSlotSettings(*fSlot, [&](TSlotSettings& ioSettings) { ioSettings.Plugin.Library = "gate_1410.so"; });
  EditSlotSettings(*fSlot, [&](TSlotSettings& ioSettings) { ioSettings.Plugin.Controls = ""; });
  fSlot->Initialize();
  TPluginControlsForm form(*fSlot);
  const TLadspaPlugin& plugin = *fSlot->SoundPlugin().Plugin();
  ASSERT_EQ(form.Editors.size(), plugin.Controls().size());
  auto* select = qobject_cast<QSpinBox*>(form.Editors[7]);
  ASSERT_TRUE(select);
  EXPECT_EQ(select->minimum(), -1);
  EXPECT_EQ(select->maximum(), 1);
  select->setValue(1);
  EXPECT_FLOAT_EQ(plugin.Control(7), 1.0f);
  // Bounds given relative to the rate are shown at the slot's rate.
  auto* filter = form.Editors[1]->findChild<QDoubleSpinBox*>();
  ASSERT_TRUE(filter);
  EXPECT_NEAR(filter->maximum(), 0.49 * 44100, 0.01);
}

TEST_F(PluginDialogsTest, ChooserListsInstalledPluginsAndLibrariesElsewhere)
{
  TPluginChooserForm chooser("/usr/lib/ladspa/amp.so:amp_stereo");
  ASSERT_NE(chooser.tvPlugins->currentItem(), nullptr);
  EXPECT_EQ(chooser.tvPlugins->currentItem()->text(0), "Stereo Amplifier");
  EXPECT_EQ(chooser.Choice(), "/usr/lib/ladspa/amp.so:amp_stereo");
  EXPECT_FALSE(chooser.tvPlugins->findItems("Fast Lookahead limiter", Qt::MatchExactly, 0).isEmpty());

  TSettingsTempFolder folder;
  std::filesystem::copy_file("/usr/lib/ladspa/delay.so", folder / "mydelay.so");
  ASSERT_TRUE(chooser.AddLibrary(QString::fromStdString(folder / "mydelay.so")));
  EXPECT_EQ(chooser.Choice(), QString::fromStdString(folder / "mydelay.so:delay_5s"));
  EXPECT_FALSE(chooser.AddLibrary(QString::fromStdString(folder / "none.so")));
  EXPECT_EQ(chooser.Choice(), "");
}
} // namespace
