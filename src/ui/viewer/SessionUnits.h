// The unit side of ending a session and of the panel's zeroing button: the
// few device calls the session screens make, kept in one place.
//
// GUI thread. No device lock is held across a port write or a pause.
#pragma once

class TDevice;

namespace SessionUnits {

// Sends the stop command three times to every connected unit with a port,
// pauseMs between the rounds. A unit whose port fails is logged and left out
// of the later rounds; the others still get theirs. Never throws.
void StopAll(int pauseMs);

// Every connected unit lets go of its listener and shooter (once this
// returns, no event thread calls a viewer or stores into a shooter of the
// session), and every parked unit lets go of its listener and forgets its
// port number, so that a unit coming back is not bound to a session that is
// gone.
void ReleaseAll();

// The unit's zeroing flag.
void SetZeroing(TDevice& device, bool on);

} // namespace SessionUnits
