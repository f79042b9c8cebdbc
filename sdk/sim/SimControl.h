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
#include <optional>
#include <string>

#include "sdk/FlyCapture2.h"
#include "sdk/sim/CameraConfig.h"
#include "sdk/sim/FleetParser.h"

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
// The built-in fleet (DefaultFleet); should its document be unreadable, the
// bus is left empty as by a bad fleet file.
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
// The next `count` frames arrive incomplete, as over a link losing packets:
// each is retrieved in its turn and reported as not whole.
void DeliverIncompleteFrames(unsigned int serialNumber, int count);
// Frames as fast as they are retrieved (true) or at the frame rate (false).
void SetFreeRunning(unsigned int serialNumber, bool freeRunning);
// Retrievals lend the image a buffer of the camera's (true), as a stream of a
// real camera does, or fill the image's own memory (false, the default).
void SetLendBuffers(unsigned int serialNumber, bool lend);

// ---- triggers -------------------------------------------------------------------
// While a camera captures with its trigger on, frames come only on triggers,
// one frame per trigger, whatever its trigger mode and source.

// One trigger reaches the camera, as through its software trigger or a pulse
// on its trigger input. Returns true when it releases a frame (the camera is
// on the bus and capturing with its trigger on; triggers that come faster
// than frames are retrieved wait their turn); otherwise it is lost.
bool FireSoftwareTrigger(unsigned int serialNumber);
// A trigger every `periodMs` milliseconds while the camera captures with its
// trigger on, on a fixed grid like the frame rate's; 0 for none. The fleet
// file's "trigger": {"periodMs": ...} sets it at start-up.
void SetTriggerPeriod(unsigned int serialNumber, unsigned int periodMs);

// ---- queries --------------------------------------------------------------------

bool IsOnBus(unsigned int serialNumber);
bool IsCapturing(unsigned int serialNumber);
// Retrievals blocked right now, waiting for their frame to be due (lets a
// test know that a grab thread sits in RetrieveBuffer).
int RetrievalsWaiting(unsigned int serialNumber);
// Frames retrieved from the camera since it joined the fleet.
uint64_t FramesDelivered(unsigned int serialNumber);
// Buffers the camera has lent to images (SetLendBuffers) and not got back.
int BuffersLent(unsigned int serialNumber);
// Open connections (FlyCapture2::Camera objects connected to it).
int Connections(unsigned int serialNumber);
FlyCapture2::VideoMode CurrentVideoMode(unsigned int serialNumber);
FlyCapture2::FrameRate CurrentFrameRate(unsigned int serialNumber);
FlyCapture2::Format7ImageSettings CurrentFormat7Settings(unsigned int serialNumber);

// The features as the camera holds them, also what it does not report back
// (a value without read-out, an absolute value without absolute mode).
// A property type outside 0..17 or a pin outside 0..3 throws
// std::invalid_argument.
FlyCapture2::Property GetPropertyState(unsigned int serialNumber, FlyCapture2::PropertyType type);
FlyCapture2::TriggerMode GetTriggerState(unsigned int serialNumber);
FlyCapture2::StrobeControl GetStrobeState(unsigned int serialNumber, unsigned int pin);
unsigned int GetGPIODirection(unsigned int serialNumber, unsigned int pin);
// The record last handed to SetProperty (for that type), SetTriggerMode or
// SetStrobe (for that pin), as sent, also when the camera refused it; none
// before the first. Calls failed by an injected fault or while the camera
// was away never reached it and are not recorded.
std::optional<FlyCapture2::Property> LastPropertyWrite(unsigned int serialNumber, FlyCapture2::PropertyType type);
std::optional<FlyCapture2::TriggerMode> LastTriggerModeWrite(unsigned int serialNumber);
std::optional<FlyCapture2::StrobeControl> LastStrobeWrite(unsigned int serialNumber, unsigned int pin);
// Triggers of the running capture not yet answered with a frame.
int PendingTriggers(unsigned int serialNumber);

// How often an operation reached the camera since it joined the fleet (or
// since ResetCallCounts), by its SDK name: "Connect", "GetCameraInfo",
// "StartCapture", "StopCapture", "RetrieveBuffer", "GetPropertyInfo",
// "GetProperty", "SetProperty", "GetVideoModeAndFrameRateInfo",
// "GetVideoModeAndFrameRate", "SetVideoModeAndFrameRate", "GetFormat7Info",
// "GetFormat7Configuration", "SetFormat7Configuration",
// "GetTriggerModeInfo", "GetTriggerMode", "SetTriggerMode", "GetStrobeInfo",
// "GetStrobe", "SetStrobe", "GetGPIOPinDirection", "SetGPIOPinDirection".
// Failed calls count too; calls the SDK refused before they reached the
// camera (no connection, a null argument) do not. Disconnect (which
// destroying a FlyCapture2::Camera also does) makes one StopCapture call. An
// unknown name throws std::invalid_argument.
uint64_t CallCount(unsigned int serialNumber, const std::string& operation);
void ResetCallCounts(unsigned int serialNumber);

}  // namespace vq::sim
