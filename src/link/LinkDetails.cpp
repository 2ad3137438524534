#include "link/LinkDetails.h"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <optional>
#include <vector>

#include "link/ChannelError.h"

namespace lumivane {

namespace {


constexpr const char* kDefaultSerialGroup = "dialout";

std::vector<char> PasswordBuffer(int which) {
  const long size = ::sysconf(which);
  return std::vector<char>(size > 0 ? static_cast<std::size_t>(size) : 16384);
}

std::optional<std::string> GroupName(gid_t gid) {
  std::vector<char> buffer = PasswordBuffer(_SC_GETGR_R_SIZE_MAX);
  group entry{};
  group* found = nullptr;
  if (::getgrgid_r(gid, &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr)
    return std::nullopt;
  return std::string(found->gr_name);
}

std::optional<gid_t> GroupId(const std::string& name) {
  std::vector<char> buffer = PasswordBuffer(_SC_GETGR_R_SIZE_MAX);
  group entry{};
  group* found = nullptr;
  if (::getgrnam_r(name.c_str(), &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr)
    return std::nullopt;
  return found->gr_gid;
}

bool SessionHasGroup(gid_t gid) {
  if (::getegid() == gid) return true;
  const int count = ::getgroups(0, nullptr);
  if (count <= 0) return false;
  std::vector<gid_t> groups(static_cast<std::size_t>(count));
  const int got = ::getgroups(count, groups.data());
  for (int i = 0; i < got; ++i)
    if (groups[static_cast<std::size_t>(i)] == gid) return true;
  return false;
}

bool UserInGroup(gid_t gid) {
  std::vector<char> buffer = PasswordBuffer(_SC_GETPW_R_SIZE_MAX);
  passwd entry{};
  passwd* found = nullptr;
  if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr)
    return false;
  int count = 64;
  std::vector<gid_t> groups(static_cast<std::size_t>(count));
  if (::getgrouplist(found->pw_name, found->pw_gid, groups.data(), &count) < 0) {
    groups.resize(static_cast<std::size_t>(count));
    if (::getgrouplist(found->pw_name, found->pw_gid, groups.data(), &count) < 0) return false;
  }
  for (int i = 0; i < count; ++i)
    if (groups[static_cast<std::size_t>(i)] == gid) return true;
  return false;
}

std::string HexBytes(const std::uint8_t* bytes, std::size_t count) {
  std::string text;
  for (std::size_t i = 0; i < count; ++i) {
    char byte[8];
    std::snprintf(byte, sizeof byte, count == 1 ? "0x%02X" : "%02X", bytes[i]);
    if (i > 0) text += ' ';
    text += byte;
  }
  return text;
}

}  // namespace

std::string PortLabel(const std::string& name, const std::string& device) {
  if (name.empty() || name == device) return device;
  return name + " (" + device + ")";
}

DeviceGroupAccess GroupAccessOf(const std::string& device) {
  DeviceGroupAccess access;
  struct stat info {};
  std::optional<gid_t> gid;
  // A pseudo-terminal's group (tty) or root's is no group to join for it.
  if (::stat(device.c_str(), &info) == 0 && info.st_gid != 0) {
    const std::optional<std::string> name = GroupName(info.st_gid);
    if (name && *name != "tty") {
      access.group = *name;
      gid = info.st_gid;
    }
  }
  if (!gid) gid = GroupId(kDefaultSerialGroup);
  if (!gid) return access;
  access.sessionHasGroup = SessionHasGroup(*gid);
  access.userInGroup = access.sessionHasGroup || UserInGroup(*gid);
  return access;
}

std::string PermissionHint(const DeviceGroupAccess& access) {
  // With the group in hand the device's own mode refuses: no group helps.
  if (access.sessionHasGroup) return {};
  if (access.userInGroup) {
    return " (your user is in the " + access.group +
           " group, but this session started before it was added: log in again)";
  }
  return " (add your user to the " + access.group + " group: sudo usermod -aG " + access.group +
         " $USER, then log in again)";
}

std::string SerialOpenDetail(const std::string& portLabel, const ChannelError& error,
                             const std::string& permissionHint) {
  switch (error.kind()) {
    case ChannelErrorKind::AccessDenied: return portLabel + ": " + error.Reason() + permissionHint;
    case ChannelErrorKind::Busy:
      return portLabel + ": " + error.Reason() + " (another program holds the port: close it first)";
    case ChannelErrorKind::WrongDevice:
      return portLabel + ": not a serial port (" + error.Reason() + ")";
    case ChannelErrorKind::NoDevice:
      return portLabel + ": " + error.Reason() + " (is the adapter plugged in?)";
    default: return portLabel + ": " + error.Reason();
  }
}

std::string SerialSetupDetail(const std::string& portLabel, const ChannelError& error) {
  return portLabel + ": " + error.Reason();
}

std::string KeyboardNodeDetail(const std::string& node, const ChannelError& error) {
  std::string line = node.empty() ? error.Reason() : node + ": " + error.Reason();
  switch (error.kind()) {
    case ChannelErrorKind::AccessDenied:
      return line + " (grant access until the next reboot: sudo setfacl -m u:$USER:rw \"$(readlink -f " +
             node + ")\")";
    case ChannelErrorKind::NotFound:
      return line +
             " (name the keyboard's event node with Keyboard= in [Quintrel] of Lumivane.ini, or "
             "lumivane-cli --port)";
    default: return line;
  }
}

std::string WrongIdentityDetail(const std::string& device, const std::uint8_t* answer,
                                const std::uint8_t* expected, std::size_t count) {
  const std::string prefix = device.empty() ? std::string() : device + ": ";
  return prefix + "the keypad answered " + HexBytes(answer, count) + ", not " + HexBytes(expected, count);
}

}  // namespace lumivane
