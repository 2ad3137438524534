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
    std::uint32_t c = static_cast<std::uint32_t>(*text);
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = 0xFFFD;
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

// Looks at the node before hidapi opens it: hidapi 0.13 uses its device
// record after freeing it when a node opens but is no hidraw device, so such
// a node is refused here (*refuse set). A node that cannot be opened at all
// is left to hidapi, which decides for itself (it may be a path only hidapi
// knows); the system's reason is returned for use when hidapi fails too,
// since hidapi's own text repeats the path the caller names.
ChannelError CheckHidrawNode(const std::string& path, bool* refuse) {
  *refuse = false;
  const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) return HidapiBackend::ErrorFromErrno(errno);
  int descriptorSize = 0;
  const bool isHidraw = ::ioctl(fd, HIDIOCGRDESCSIZE, &descriptorSize) >= 0;
  const int ioctlError = errno;
  ::close(fd);
  if (isHidraw) return ChannelError();
  *refuse = true;
  return ChannelError(ChannelErrorKind::WrongDevice, ioctlError, "not a HID device node");
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

ChannelError HidapiBackend::ErrorFromErrno(int systemError) {
  switch (systemError) {
    case 0: return ChannelError();
    case ENOENT: return ChannelError(ChannelErrorKind::NotFound, systemError);
    case ENXIO:
    case ENODEV: return ChannelError(ChannelErrorKind::NoDevice, systemError);  // unplugged
    case EACCES:
    case EPERM: return ChannelError(ChannelErrorKind::AccessDenied, systemError);
    case EBUSY: return ChannelError(ChannelErrorKind::Busy, systemError);
    case ENOTTY:  // a node that is no hidraw device
    case EISDIR: return ChannelError(ChannelErrorKind::WrongDevice, systemError);
    case EIO: return ChannelError(ChannelErrorKind::HungUp, systemError);
    default: return ChannelError(ChannelErrorKind::System, systemError);
  }
}

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

std::unique_ptr<HidDevice> HidapiBackend::Open(const std::string& path, ChannelError* error) {
  ChannelError ignored;
  if (error == nullptr) error = &ignored;
  if (!initialised_) {
    *error = ChannelError(ChannelErrorKind::System, 0, "the HID service could not be initialised");
    return nullptr;
  }
  const std::lock_guard<std::mutex> lock(serviceMutex_);
  bool refuse = false;
  *error = CheckHidrawNode(path, &refuse);
  hid_device* handle = refuse ? nullptr : hid_open_path(path.c_str());
  if (handle) {
    *error = ChannelError();
    return std::make_unique<HidapiDevice>(handle);
  }
  if (error->ok()) {
    std::string text = NarrowText(hid_error(nullptr));
    *error = ChannelError(ChannelErrorKind::System, 0,
                          text.empty() ? "the device cannot be opened" : std::move(text));
  }
  return nullptr;
}

}  // namespace lumivane
