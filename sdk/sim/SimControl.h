#pragma once
// Control of the simulated camera bus for tests: replace the fleet, plug
// cameras in and out, raise bus resets, inject faults, and look at what the
// cameras are doing. Everything here acts on the process-wide simulated bus,
// the one the SDK uses unless VORQUELL_SDK_BACKEND names another backend.
//
// Misuse (an unknown serial number, a camera that is already away, an
// invalid camera description) throws std::invalid_argument; SDK calls never
// throw.
//
// Bus events raised here are delivered on the SDK's event thread, as those
// of real cameras are; FlushEvents waits until they have been delivered.
#include <cstdint>
#include <string>

#include "sdk/FlyCapture2.h"
#include "sdk/sim/CameraConfig.h"
#include "sdk/sim/DefaultFleet.h"

namespace vq::sim {

// ---- the fleet ------------------------------------------------------------
// Replacing the fleet disconnects every camera of the old one: operations on
// its connections fail from then on, and a blocked retrieval is released.
// No bus events are raised.

// A fleet description in the fleet file format (FLEET.md). Throws
// std::invalid_argument naming the problem and leaves the fleet unchanged.
void LoadFleetJson(const std::string& json);
// A fleet file, read as VORQUELL_SIM_FLEET would have it read: a bad file
// leaves the bus empty and makes the camera count query fail with the file
// name and the problem.
void LoadFleetFile(const std::string& path);
void LoadFleet(const FleetConfig& fleet);
void ResetToDefaultFleet();

// ---- arrivals, removals, bus resets ----------------------------------------

// A new camera arrives on the bus (ARRIVAL). Its serial number must be new.
void AddCamera(const CameraConfig& camera);
// The camera leaves the bus (REMOVAL): its connections fail and a blocked
// retrieval is released with an error, until the camera comes back.
void RemoveCamera(unsigned int serialNumber);
// A removed camera comes back (ARRIVAL), in the modes it had; a capture that
// was running goes on.
void ReattachCamera(unsigned int serialNumber);
// A BUS_RESET event naming the camera (0: none), as BusManager::FireBusReset
// raises it.
void BusReset(unsigned int serialNumber = 0);
// Waits until every bus event raised so far has been delivered.
void FlushEvents();

// ---- faults and pacing --------------------------------------------------------

void SetFaults(unsigned int serialNumber, const CameraFaults& faults);
// The camera-count query fails while set.
void SetCountFault(bool fail);
// The next `count` retrievals of a running capture fail.
void FailNextRetrievals(unsigned int serialNumber, int count);
// Frames as fast as they are retrieved (true) or at the frame rate (false).
void SetFreeRunning(unsigned int serialNumber, bool freeRunning);

// ---- queries --------------------------------------------------------------------

bool IsOnBus(unsigned int serialNumber);
bool IsCapturing(unsigned int serialNumber);
// Retrievals blocked right now, waiting for their frame to be due (lets a
// test know that a grab thread sits in RetrieveBuffer).
int RetrievalsWaiting(unsigned int serialNumber);
// Frames retrieved from the camera since it joined the fleet.
uint64_t FramesDelivered(unsigned int serialNumber);
// Open connections (FlyCapture2::Camera objects connected to it).
int Connections(unsigned int serialNumber);
FlyCapture2::VideoMode CurrentVideoMode(unsigned int serialNumber);
FlyCapture2::FrameRate CurrentFrameRate(unsigned int serialNumber);
FlyCapture2::Format7ImageSettings CurrentFormat7Settings(unsigned int serialNumber);

}  // namespace vq::sim
