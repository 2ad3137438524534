#include "ui/KeyPressCollector.h"

#include <QKeyEvent>

namespace lumivane {

KeyPressCollector::KeyPressCollector(QObject* parent) : QObject(parent) {}

void KeyPressCollector::BeginCollecting() { collecting_ = true; }

void KeyPressCollector::EndCollecting() { collecting_ = false; }

int KeyPressCollector::TakeKey() {
  if (keys_.empty()) return -1;
  int key = keys_.front();
  keys_.pop_front();
  return key;
}

bool KeyPressCollector::eventFilter(QObject* watched, QEvent* event) {
  if (!collecting_) return QObject::eventFilter(watched, event);
  switch (event->type()) {
    case QEvent::ShortcutOverride:
      // Accepting the override keeps shortcuts (F1, "&Yes", mnemonics) from
      // firing; the key press that follows is collected below.
      event->accept();
      return true;
    case QEvent::KeyPress: {
      int key = static_cast<QKeyEvent*>(event)->key();
      keys_.push_back(key < 0 ? 0 : key);
      return true;
    }
    case QEvent::KeyRelease:
      return true;
    default:
      return QObject::eventFilter(watched, event);
  }
}

}  // namespace lumivane
