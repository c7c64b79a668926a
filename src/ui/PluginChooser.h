#pragma once
// Chooses a sound-processing plug-in: the LADSPA plug-ins installed in the search folders with their names,
// labels and libraries, and "File..." for a library elsewhere, whose plug-ins are then listed too. The choice is
// "library:label".

#include <QDialog>
#include <string>
#include <vector>

class QPushButton;
class QTreeWidget;

class TPluginChooserForm : public QDialog
{
  Q_OBJECT
public:
  // iCurrent ("library:label") is selected when it is listed.
  TPluginChooserForm(const QString& iCurrent, QWidget* iParent = nullptr);
  QString Choice() const;
  // Lists the plug-ins of library iPath and selects its first; false when it holds none.
  bool AddLibrary(const QString& iPath);

  QTreeWidget* tvPlugins;
  QPushButton* btnFile;

private:
  void AddEntries(const QString& iLibraryOnly, const std::vector<std::string>& iFolders);
};
