#include "link/HidapiBackend.h"

#include <fcntl.h>
#include <hidapi/hidapi.h>
#include <linux/hidraw.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <climits>
#include <cstring>
#include <cwchar>
#include <unordered_map>

#include "common/Utf8.h"
#include "link/KeypadConstants.h"
#include "link/UsbPortPath.h"

namespace lumivane {

namespace {

class HidapiDevice : public HidDevice {
 public:
  explicit HidapiDevice(hid_device* handle) : handle_(handle) {}
  ~HidapiDevice() override { hid_close(handle_); }
  HidapiDevice(const HidapiDevice&) = delete;
  HidapiDevice& operator=(const HidapiDevice&) = delete;

  int SendFeatureReport(const std::uint8_t* report, std::size_t length) override {
    return hid_send_feature_report(handle_, report, length);
  }
  int GetFeatureReport(std::uint8_t* report, std::size_t length) override {
    return hid_get_feature_report(handle_, report, length);
  }

 private:
  hid_device* handle_;
};

std::string NarrowText(const wchar_t* text) {
  if (!text) return {};
  std::string out;
  std::mbstate_t state{};
  char buffer[MB_LEN_MAX];
  for (; *text; ++text) {
    const std::size_t n = std::wcrtomb(buffer, *text, &state);
    if (n == static_cast<std::size_t>(-1)) {
      out += '?';
      state = std::mbstate_t{};
    } else {
      out.append(buffer, n);
    }
  }
  return out;
}

// A wide string from hidapi (UTF-32 here) as UTF-8, whatever the locale;
// a value that is no character becomes U+FFFD.
std::string Utf8Text(const wchar_t* text) {
  std::string out;
  for (; text && *text; ++text) {
    auto c = static_cast<char32_t>(*text);
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = 0xFFFD;
    AppendUtf8(out, c);
  }
  return out;
}

// What the look at a node before hidapi opens it found.
struct NodeCheck {
  bool refuse = false;  // it opens but is no hidraw device: never handed to hidapi
  ChannelError reason;  // why it cannot be used, for when hidapi fails too
};

// Looks at the node before hidapi opens it: hidapi 0.13 uses its device
// record after freeing it when a node opens but is no hidraw device, so such
// a node is refused here. A node that cannot be opened at all is left to
// hidapi, which decides for itself (it may be a path only hidapi knows); the
// system's reason is kept for use when hidapi fails too, since hidapi's own
// text repeats the path the caller names.
NodeCheck CheckHidrawNode(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) return {false, ErrorFromErrno(errno)};
  int descriptorSize = 0;
  const bool isHidraw = ::ioctl(fd, HIDIOCGRDESCSIZE, &descriptorSize) >= 0;
  const int ioctlError = errno;
  ::close(fd);
  if (isHidraw) return {};
  return {true, ChannelError(ChannelErrorKind::WrongDevice, ioctlError, "not a HID device node")};
}

}  // namespace

std::vector<HidDeviceInfo> MergeInterfaceRecords(const std::vector<HidDeviceInfo>& records) {
  std::vector<HidDeviceInfo> merged;
  std::unordered_map<std::string, std::size_t> positionOfPath;
  for (const HidDeviceInfo& record : records) {
    const auto [it, isNew] = positionOfPath.emplace(record.path, merged.size());
    if (isNew) {
      merged.push_back(record);
    } else if (record.usagePage == keypad::kVendorUsagePage) {
      merged[it->second].usagePage = keypad::kVendorUsagePage;
    }
  }
  return merged;
}

HidapiBackend::HidapiBackend() : initialised_(hid_init() == 0) {}

HidapiBackend::~HidapiBackend() {
  if (initialised_) hid_exit();
}

std::vector<HidDeviceInfo> HidapiBackend::Enumerate() {
  std::vector<HidDeviceInfo> records;
  if (!initialised_) return records;
  const std::lock_guard<std::mutex> lock(serviceMutex_);
  hid_device_info* list = hid_enumerate(0, 0);
  for (const hid_device_info* d = list; d; d = d->next) {
    HidDeviceInfo info;
    info.path = d->path ? d->path : "";
    info.vendorId = d->vendor_id;
    info.productId = d->product_id;
    info.releaseNumber = d->release_number;
    info.usagePage = d->usage_page;
    if (d->manufacturer_string) info.manufacturer = d->manufacturer_string;
    info.serialNumber = Utf8Text(d->serial_number);
    info.portPath = UsbPortPathOfHidraw(info.path);
    records.push_back(std::move(info));
  }
  hid_free_enumeration(list);
  return MergeInterfaceRecords(records);
}

HidOpening HidapiBackend::Open(const std::string& path) {
  if (!initialised_) {
    return {nullptr, ChannelError(ChannelErrorKind::System, 0, "the HID service could not be initialised")};
  }
  const std::lock_guard<std::mutex> lock(serviceMutex_);
  NodeCheck check = CheckHidrawNode(path);
  hid_device* handle = check.refuse ? nullptr : hid_open_path(path.c_str());
  if (handle) return {std::make_unique<HidapiDevice>(handle), {}};
  if (check.reason.ok()) {
    std::string text = NarrowText(hid_error(nullptr));
    check.reason = ChannelError(ChannelErrorKind::System, 0,
                                text.empty() ? "the device cannot be opened" : std::move(text));
  }
  return {nullptr, std::move(check.reason)};
}

}  // namespace lumivane
