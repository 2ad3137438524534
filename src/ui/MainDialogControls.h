#pragma once
#include <QButtonGroup>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>

#include "download/DownloadHost.h"

namespace lumivane {

class DialogUnits;
class StatusLog;

// Every control of the main window. The widgets belong to the window; this
// only holds pointers to them.
struct MainDialogControls {
  QPushButton* browse = nullptr;
  QPushButton* edit = nullptr;
  QPushButton* download = nullptr;
  QPushButton* cancel = nullptr;
  QRadioButton* layer1 = nullptr;
  QRadioButton* layer2 = nullptr;
  QLineEdit* path = nullptr;
  QRadioButton* pcAt = nullptr;
  QRadioButton* usb = nullptr;
  QRadioButton* rs232 = nullptr;
  QRadioButton* rs485 = nullptr;
  QRadioButton* modem = nullptr;
  QRadioButton* internet = nullptr;
  QRadioButton* wireless = nullptr;
  QComboBox* comPorts = nullptr;
  QComboBox* emulators = nullptr;
  QComboBox* keys = nullptr;
  QLineEdit* linesTranslated = nullptr;
  QLineEdit* bytesTransferred = nullptr;
  QPushButton* yes = nullptr;
  QProgressBar* progress = nullptr;
  StatusLog* statusLog = nullptr;
  QLabel* noSetupNote = nullptr;
  QLabel* portNote = nullptr;
  QButtonGroup* layerGroup = nullptr;
  QButtonGroup* linkGroup = nullptr;  // button ids are LinkKind values

  QRadioButton* RadioFor(LinkKind link) const;
};

// Creates the controls in the window's tab order at their template places.
MainDialogControls BuildMainDialogControls(QWidget* dialog, const DialogUnits& units);

// Fills a list with items in the order given (already sorted).
void FillList(QComboBox* list, const std::vector<std::string>& items);

}  // namespace lumivane
