#include "ui/MainDialogControls.h"

#include <algorithm>

#include "ui/DialogUnits.h"
#include "ui/PathText.h"
#include "ui/StatusLog.h"

namespace lumivane {
namespace {

// Places widgets at template positions given in dialog units.
class Placer {
 public:
  Placer(QWidget* dialog, const DialogUnits& units) : dialog_(dialog), units_(units) {}

  template <typename Widget>
  Widget* Place(Widget* widget, int x, int y, int width, int height) {
    widget->setParent(dialog_);
    widget->setGeometry(units_.Rect(x, y, width, height));
    return widget;
  }

  // A drop-down list's template height includes its open list; closed, it
  // takes the height the style needs.
  QComboBox* PlaceList(int x, int y, int width, int dropDownHeight) {
    auto* list = Place(new QComboBox, x, y, width, 12);
    list->setEditable(false);
    list->resize(list->width(), list->sizeHint().height());
    int rowHeight = list->fontMetrics().height() + 2;
    list->setMaxVisibleItems(std::max(2, (units_.Y(dropDownHeight) - list->height()) / rowHeight));
    return list;
  }

  // maxRight: how far right (in dialog units) the text may grow when the
  // desktop font wraps it into more lines than its height holds.
  QLabel* PlaceText(const char* text, int x, int y, int width, int height, int maxRight = 0) {
    auto* label = Place(new QLabel(QString::fromUtf8(text)), x, y, width, height);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    if (label->height() >= 2 * label->fontMetrics().height()) {
      label->setWordWrap(true);
      int widest = units_.X(std::max(maxRight, x + width)) - label->x();
      for (int w = label->width(); w <= widest && label->heightForWidth(label->width()) > label->height(); ++w) {
        label->resize(w, label->height());
      }
    } else if (label->sizeHint().width() > label->width()) {
      // A one-line caption keeps its line when the desktop font runs wider
      // than the template allowed for.
      label->resize(label->sizeHint().width(), label->height());
    }
    return label;
  }

  // Group boxes are drawn beneath the controls they frame and never take
  // their clicks.
  void PlaceGroup(const char* title, int x, int y, int width, int height) {
    auto* group = Place(new QGroupBox(QString::fromUtf8(title)), x, y, width, height);
    group->setAttribute(Qt::WA_TransparentForMouseEvents);
    group->setFocusPolicy(Qt::NoFocus);
    group->lower();
  }

 private:
  QWidget* dialog_;
  const DialogUnits& units_;
};

QRadioButton* MakeRadio(Placer& placer, const char* caption, int x, int y, int width, int height) {
  return placer.Place(new QRadioButton(QString::fromUtf8(caption)), x, y, width, height);
}

QPushButton* MakeButton(Placer& placer, const char* caption, int x, int y, int width, int height) {
  // Like any dialog button, a focused button answers Enter; otherwise the
  // hidden default "&Yes" is the default, and Enter does nothing while it is
  // hidden.
  auto* button = placer.Place(new QPushButton(QString::fromUtf8(caption)), x, y, width, height);
  button->setAutoDefault(true);
  return button;
}

QLineEdit* MakeCounter(Placer& placer, int x, int y, int width, int height) {
  auto* field = placer.Place(new QLineEdit, x, y, width, height);
  field->setEnabled(false);
  return field;
}

}  // namespace

QRadioButton* MainDialogControls::RadioFor(LinkKind link) const {
  return qobject_cast<QRadioButton*>(linkGroup->button(static_cast<int>(link)));
}

void FillList(QComboBox* list, const std::vector<std::string>& items) {
  list->clear();
  for (const std::string& item : items) list->addItem(PathToText(item));
}

MainDialogControls BuildMainDialogControls(QWidget* dialog, const DialogUnits& units) {
  Placer placer(dialog, units);
  MainDialogControls c;
  // Creation order is the tab order.
  c.browse = MakeButton(placer, "&Browse", 24, 18, 42, 14);
  c.edit = MakeButton(placer, "&Edit", 73, 18, 42, 14);
  c.download = MakeButton(placer, "&Download", 122, 18, 42, 14);
  c.cancel = MakeButton(placer, "&Cancel", 122, 18, 42, 14);
  c.cancel->hide();
  c.layer1 = MakeRadio(placer, "Layer &1", 174, 16, 39, 10);
  c.layer2 = MakeRadio(placer, "Layer &2", 174, 25, 39, 10);
  c.path = placer.Place(new QLineEdit, 14, 39, 216, 12);
  c.pcAt = MakeRadio(placer, "&PC/AT", 256, 18, 38, 10);
  c.usb = MakeRadio(placer, "&USB", 256, 28, 31, 10);
  c.rs232 = MakeRadio(placer, "RS&232", 256, 38, 38, 10);
  c.rs485 = MakeRadio(placer, "RS4&85", 256, 48, 38, 10);
  c.modem = MakeRadio(placer, "&Modem", 256, 58, 39, 10);
  c.internet = MakeRadio(placer, "Interne&t", 256, 68, 40, 10);
  c.wireless = MakeRadio(placer, "&Wireless", 256, 78, 43, 10);
  c.comPorts = placer.PlaceList(306, 65, 52, 67);
  c.comPorts->hide();
  c.emulators = placer.PlaceList(255, 139, 103, 76);
  c.keys = placer.PlaceList(320, 180, 36, 42);
  placer.PlaceGroup("Link with", 248, 4, 119, 90);
  placer.PlaceText("Lines Translated:", 14, 157, 55, 8);
  c.linesTranslated = MakeCounter(placer, 14, 165, 88, 12);
  placer.PlaceText("Bytes Transferred:", 141, 157, 58, 8);
  c.bytesTransferred = MakeCounter(placer, 141, 165, 88, 12);
  c.yes = MakeButton(placer, "&Yes", 214, 70, 22, 9);
  c.yes->setDefault(true);
  c.yes->setEnabled(false);
  c.yes->hide();
  c.progress = placer.Place(new QProgressBar, 14, 185, 216, 14);
  c.progress->setRange(0, 100);
  c.progress->setValue(0);
  c.progress->setTextVisible(false);
  c.statusLog = placer.Place(new StatusLog, 14, 81, 216, 71);
  c.noSetupNote =
      placer.PlaceText("No setup necessary for this type of link.", 306, 26, 48, 36, 364);
  placer.PlaceGroup("Status", 6, 66, 233, 140);
  placer.PlaceGroup("Configuration file to download", 6, 4, 233, 55);
  placer.PlaceGroup("Emulator", 248, 100, 119, 57);
  placer.PlaceText("Choose the type of keyboard you want to emulate with the Quintrel.", 255, 111, 108,
                   26, 364);
  c.portNote = placer.PlaceText("Choose the right port used to configure the Quintrel", 306, 26,
                                48, 36, 364);
  c.portNote->hide();
  placer.PlaceGroup("Keys", 248, 164, 119, 42);
  placer.PlaceText("Select the number of keys available on the Quintrel.", 255, 175, 64, 26);

  // Radios and lists that stay disabled for the whole run.
  for (QRadioButton* radio : {c.pcAt, c.rs485, c.modem, c.internet, c.wireless}) radio->setEnabled(false);

  c.layerGroup = new QButtonGroup(dialog);
  c.layerGroup->addButton(c.layer1, 1);
  c.layerGroup->addButton(c.layer2, 2);
  c.linkGroup = new QButtonGroup(dialog);
  c.linkGroup->addButton(c.pcAt, static_cast<int>(LinkKind::PcAt));
  c.linkGroup->addButton(c.usb, static_cast<int>(LinkKind::Usb));
  c.linkGroup->addButton(c.rs232, static_cast<int>(LinkKind::Rs232));
  c.linkGroup->addButton(c.rs485, static_cast<int>(LinkKind::Rs485));
  c.linkGroup->addButton(c.modem, static_cast<int>(LinkKind::Modem));
  c.linkGroup->addButton(c.internet, static_cast<int>(LinkKind::Internet));
  c.linkGroup->addButton(c.wireless, static_cast<int>(LinkKind::Wireless));
  return c;
}

}  // namespace lumivane
