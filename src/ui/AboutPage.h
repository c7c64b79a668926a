#pragma once
// The page "About": the program's name and version.

#include <QWidget>

class QLabel;

class TAboutPage : public QWidget
{
  Q_OBJECT
public:
  explicit TAboutPage(QWidget* iParent = nullptr);

  QLabel* lblVersion;
};
