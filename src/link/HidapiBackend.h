#pragma once
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "link/HidChannel.h"

namespace lumivane {

// The HID service of the system through hidapi (hidraw flavour).
//
// The manufacturer string is decoded by hidapi with the C library's
// multibyte conversion, so the program must call setlocale(LC_ALL, "")
// (a QApplication does this) before the first Enumerate.
class HidapiBackend : public HidBackend {
 public:
  HidapiBackend();   // hid_init
  ~HidapiBackend() override;  // hid_exit
  HidapiBackend(const HidapiBackend&) = delete;
  HidapiBackend& operator=(const HidapiBackend&) = delete;

  std::vector<HidDeviceInfo> Enumerate() override;
  // The error keeps the system's errno for the node (EACCES: "Permission denied").
  HidOpening Open(const std::string& path) override;

 private:
  bool initialised_ = false;
  std::mutex serviceMutex_;  // hidapi's listing, opening and global error text
};

// hidapi lists a hidraw node once per top-level collection of its report
// descriptor, each record with that collection's usage page. One node is one
// interface here: the records of one path become one, in the position of the
// path's first record, carrying the vendor usage page 0xFF00 when any record
// of that path has it, otherwise the first record's usage page. A node with a
// vendor collection is thus found however the collections are ordered.
std::vector<HidDeviceInfo> MergeInterfaceRecords(const std::vector<HidDeviceInfo>& records);

}  // namespace lumivane
