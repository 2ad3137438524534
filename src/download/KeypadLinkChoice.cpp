#include "download/KeypadLinkChoice.h"

#include "link/LinkDetails.h"
#include "link/PcAtLink.h"
#include "link/SerialLink.h"
#include "link/UsbLink.h"

namespace lumivane {

std::unique_ptr<DeviceLink> MakeKeypadLink(const DownloadChoices& choices, const LinkChannels& channels,
                                           Clock& clock, KeySource& keys,
                                           const std::array<char, 16>& nibbleKeys) {
  switch (choices.link) {
    case LinkKind::PcAt: return std::make_unique<PcAtLink>(clock, channels.keyboardLine, &keys, nibbleKeys);
    case LinkKind::Usb: return std::make_unique<UsbLink>(clock, channels.hidBackend);
    case LinkKind::Rs232: {
      SerialPortChoice port;
      port.device = channels.resolvePortName ? channels.resolvePortName(choices.portName) : choices.portName;
      port.label = PortLabel(choices.portName, port.device);
      port.permissionHint = channels.permissionHint;
      return std::make_unique<SerialLink>(clock, channels.serialPort, std::move(port));
    }
    default: return nullptr;
  }
}

}  // namespace lumivane
