#include "cli/StationDownload.h"

namespace lumivane {

// NOT WIRED YET: a SlotRunner that maps the driver's events (phase,
// progress per pass) to SlotEvents, SlotStop::beforeWriting to a cancel
// that is refused once the first byte is written and SlotStop::now to the
// stop of `download`'s second Ctrl-C, and its outcome to SlotOutcome; the
// probe sends the identity request on the port and waits a bounded time.
std::unique_ptr<SlotRunner> MakeStationRunner(const StationJob&) { return nullptr; }

std::unique_ptr<PresenceProbe> MakePresenceProbe(const StationJob&) { return nullptr; }

}  // namespace lumivane
