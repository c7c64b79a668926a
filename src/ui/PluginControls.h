#pragma once
// The controls of a slot's running sound-processing plug-in, built from its control ports: a check box for a
// toggle, a spin box for an integer, a slider with a spin box for a value with both bounds, a spin box for the
// others, and the plug-in's own outputs (latency, gain reduction) as they change. Every change reaches the
// running plug-in at once; OK stores the values in the slot's settings, Cancel puts the old ones back.

#include <QDialog>
#include <string>
#include <utility>
#include <vector>

class QLabel;
class QTimer;
class TLadspaPlugin;
class TSlotInfo;

class TPluginControlsForm : public QDialog
{
  Q_OBJECT
public:
  // iSlot must have a plug-in loaded.
  TPluginControlsForm(TSlotInfo& iSlot, QWidget* iParent = nullptr);

  // The editor of each input control and the label of each output, named after the port.
  std::vector<QWidget*> Editors;

  void accept() override;
  void reject() override;

private:
  QWidget* NewEditor(size_t iIndex);
  void ShowOutputs();

  TSlotInfo& fSlot;
  TLadspaPlugin& fPlugin;
  std::string fBefore;
  std::vector<std::pair<size_t, QLabel*>> fOutputs;
  QTimer* fTimer;
};
