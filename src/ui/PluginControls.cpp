#include "ui/PluginControls.h"

#include "audio/engine/LadspaPlugin.h"
#include "slots/SlotInfo.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>
#include <cmath>
#include <limits>

namespace
{
constexpr int kSliderSteps = 1000;
constexpr double kUnbounded = 1e9;

// Slider position of iValue within a control's bounds, on a logarithmic scale where its hint asks for one.
int SliderPosition(const TLadspaControl& iControl, double iValue)
{
  const bool logarithmic = iControl.Logarithmic && iControl.Lower > 0;
  const double low = logarithmic ? std::log(iControl.Lower) : iControl.Lower;
  const double high = logarithmic ? std::log(iControl.Upper) : iControl.Upper;
  const double at = logarithmic ? std::log(std::max(iValue, double(iControl.Lower))) : iValue;
  return high > low ? static_cast<int>(std::lround((at - low) / (high - low) * kSliderSteps)) : 0;
}

double SliderValue(const TLadspaControl& iControl, int iPosition)
{
  const bool logarithmic = iControl.Logarithmic && iControl.Lower > 0;
  const double share = static_cast<double>(iPosition) / kSliderSteps;
  if (logarithmic)
    return std::exp(std::log(iControl.Lower) * (1 - share) + std::log(iControl.Upper) * share);
  return iControl.Lower * (1 - share) + iControl.Upper * share;
}
} // namespace

TPluginControlsForm::TPluginControlsForm(TSlotInfo& iSlot, QWidget* iParent)
    : QDialog(iParent), fSlot(iSlot), fPlugin(*iSlot.SoundPlugin().Plugin()), fBefore(fPlugin.ControlsText())
{
  setWindowTitle(QString::fromStdString(fPlugin.Name() + " (" + fPlugin.Label() + ")"));
  auto* layout = new QVBoxLayout(this);
  auto* form = new QFormLayout;
  layout->addLayout(form);
  const std::vector<TLadspaControl>& controls = fPlugin.Controls();
  for (size_t i = 0; i < controls.size(); ++i)
  {
    QWidget* editor = NewEditor(i);
    editor->setObjectName(QString::fromStdString(controls[i].Name));
    Editors.push_back(editor);
    form->addRow(QString::fromStdString(controls[i].Name) + ":", editor);
  }
  if (!fPlugin.Started())
    layout->addWidget(new QLabel("The plug-in is not running; the values take effect when it runs."));
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  layout->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &TPluginControlsForm::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &TPluginControlsForm::reject);
  fTimer = new QTimer(this);
  connect(fTimer, &QTimer::timeout, this, &TPluginControlsForm::ShowOutputs);
  fTimer->start(250);
  ShowOutputs();
}

QWidget* TPluginControlsForm::NewEditor(size_t iIndex)
{
  const TLadspaControl& control = fPlugin.Controls()[iIndex];
  const double value = fPlugin.Control(iIndex);
  if (control.Output)
  {
    auto* label = new QLabel;
    fOutputs.emplace_back(iIndex, label);
    return label;
  }
  if (control.Toggled)
  {
    auto* box = new QCheckBox;
    box->setChecked(value > 0);
    connect(box, &QCheckBox::toggled, this,
            [this, iIndex](bool iOn) { fPlugin.SetControl(iIndex, iOn ? 1.0f : 0.0f); });
    return box;
  }
  const double low = control.HasLower ? control.Lower : -kUnbounded;
  const double high = control.HasUpper ? control.Upper : kUnbounded;
  if (control.Integer)
  {
    auto* box = new QSpinBox;
    box->setRange(static_cast<int>(std::max(low, double(std::numeric_limits<int>::min()))),
                  static_cast<int>(std::min(high, double(std::numeric_limits<int>::max()))));
    box->setValue(static_cast<int>(value));
    connect(box, &QSpinBox::valueChanged, this,
            [this, iIndex](int iValue) { fPlugin.SetControl(iIndex, float(iValue)); });
    return box;
  }
  auto* box = new QDoubleSpinBox;
  box->setDecimals(3);
  box->setRange(low, high);
  box->setSingleStep(control.HasLower && control.HasUpper ? (high - low) / 100 : 0.1);
  box->setValue(value);
  connect(box, &QDoubleSpinBox::valueChanged, this,
          [this, iIndex](double iValue) { fPlugin.SetControl(iIndex, static_cast<float>(iValue)); });
  if (!control.HasLower || !control.HasUpper)
    return box;
  // Both bounds: a slider beside the spin box, the two kept in step.
  auto* row = new QWidget;
  auto* rowLayout = new QHBoxLayout(row);
  rowLayout->setContentsMargins(0, 0, 0, 0);
  auto* slider = new QSlider(Qt::Horizontal);
  slider->setRange(0, kSliderSteps);
  slider->setValue(SliderPosition(control, value));
  rowLayout->addWidget(slider, 1);
  rowLayout->addWidget(box);
  connect(slider, &QSlider::sliderMoved, box,
          [box, control](int iPosition) { box->setValue(SliderValue(control, iPosition)); });
  connect(box, &QDoubleSpinBox::valueChanged, slider,
          [slider, control](double iValue)
          {
            if (!slider->isSliderDown())
              slider->setValue(SliderPosition(control, iValue));
          });
  return row;
}

void TPluginControlsForm::ShowOutputs()
{
  for (const auto& [index, label] : fOutputs)
  {
    const double value = fPlugin.Control(index);
    const std::string& name = fPlugin.Controls()[index].Name;
    const bool latency = QString::fromStdString(name).remove('_').compare("latency", Qt::CaseInsensitive) == 0;
    label->setText(latency ? QString("%1 samples").arg(std::lround(value)) : QString::number(value, 'f', 2));
  }
}

void TPluginControlsForm::accept()
{
  TSlotSettings settings = fSlot.Settings();
  settings.Plugin.Controls = fPlugin.ControlsText();
  fSlot.WriteSettings(settings);
  QDialog::accept();
}

void TPluginControlsForm::reject()
{
  fPlugin.ApplyControlsText(fBefore);
  QDialog::reject();
}
