// The one errno map every channel uses, and the keyboard node's exception.
#include "link/ChannelError.h"

#include <gtest/gtest.h>

#include <cerrno>

#include "ChannelErrorPrinter.h"
#include "link/EvdevKeyboardLine.h"

namespace lumivane {
namespace {

using Kind = ChannelErrorKind;

TEST(ChannelErrorMap, EachErrnoHasOneKindOnEveryChannelAndKeepsItsText) {
  const struct {
    int systemError;
    Kind everywhere;
    Kind onKeyboardNode;
  } cases[] = {
      {0, Kind::None, Kind::None},
      {ENOENT, Kind::NotFound, Kind::NotFound},
      {ENODEV, Kind::NoDevice, Kind::NoDevice},
      {EACCES, Kind::AccessDenied, Kind::AccessDenied},
      {EBUSY, Kind::Busy, Kind::Busy},
      {ENOTTY, Kind::WrongDevice, Kind::WrongDevice},
      {ENOSYS, Kind::Unsupported, Kind::Unsupported},
      {EIO, Kind::HungUp, Kind::HungUp},
      {ECANCELED, Kind::Cancelled, Kind::Cancelled},
      {ETIMEDOUT, Kind::Timeout, Kind::Timeout},
      // Only another device's driver answers the repeat requests so.
      {EINVAL, Kind::InvalidArgument, Kind::WrongDevice},
      {EMFILE, Kind::System, Kind::System},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.systemError);
    EXPECT_EQ(ErrorFromErrno(c.systemError), ChannelError(c.everywhere, c.systemError));
    EXPECT_EQ(EvdevKeyboardLine::ErrorFromErrno(c.systemError), ChannelError(c.onKeyboardNode, c.systemError));
  }
  EXPECT_EQ(ErrorFromErrno(EACCES).Reason(), "Permission denied");
}

}  // namespace
}  // namespace lumivane
