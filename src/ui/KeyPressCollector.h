#pragma once
#include <QObject>

#include <deque>

namespace lumivane {

// An application-wide event filter that, while collecting, takes every key
// press away from the widgets and the shortcuts and keeps it for the caller.
// Outside collection it lets everything through.
class KeyPressCollector : public QObject {
  Q_OBJECT

 public:
  explicit KeyPressCollector(QObject* parent = nullptr);

  void BeginCollecting();
  // Keys collected but not yet taken stay for the next collection, as the
  // keypad may type two keys in quick succession.
  void EndCollecting();
  void Clear() { keys_.clear(); }
  bool collecting() const { return collecting_; }
  bool HasKey() const { return !keys_.empty(); }
  // The oldest collected key, or -1 when none is waiting.
  int TakeKey();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  bool collecting_ = false;
  std::deque<int> keys_;
};

}  // namespace lumivane
