#include "sdk/sim/SimControl.h"

#include <stdexcept>

#include "sdk/sim/FleetParser.h"
#include "sdk/sim/SimBus.h"

namespace vq::sim {

using namespace FlyCapture2;

void LoadFleetJson(const std::string& json) {
  FleetConfig fleet;
  try {
    fleet = FleetParser::Parse(json);
  } catch (const FleetError& error) {
    throw std::invalid_argument(std::string("vq::sim: fleet description: ") + error.what());
  }
  SimBus::Instance().LoadFleet(fleet);
}

void LoadFleetFile(const std::string& path) { SimBus::Instance().LoadFleetFile(path); }
void LoadFleet(const FleetConfig& fleet) { SimBus::Instance().LoadFleet(fleet); }
void ResetToDefaultFleet() { SimBus::Instance().LoadFleet(DefaultFleet()); }

void AddCamera(const CameraConfig& camera) { SimBus::Instance().AddCamera(camera); }
void RemoveCamera(unsigned int serialNumber) { SimBus::Instance().RemoveCamera(serialNumber); }
void ReattachCamera(unsigned int serialNumber) { SimBus::Instance().ReattachCamera(serialNumber); }
void BusReset(unsigned int serialNumber) { SimBus::Instance().RaiseBusReset(serialNumber); }
void FlushEvents() { SimBus::Instance().FlushEvents(); }

void SetFaults(unsigned int serialNumber, const CameraFaults& faults) {
  SimBus::Instance().Camera(serialNumber)->SetFaults(faults);
}

void SetCountFault(bool fail) { SimBus::Instance().SetCountFault(fail); }

void FailNextRetrievals(unsigned int serialNumber, int count) {
  SimBus::Instance().Camera(serialNumber)->FailNextRetrievals(count);
}

void SetFreeRunning(unsigned int serialNumber, bool freeRunning) {
  SimBus::Instance().Camera(serialNumber)->SetFreeRunning(freeRunning);
}

bool IsOnBus(unsigned int serialNumber) { return SimBus::Instance().Camera(serialNumber)->IsOnBus(); }
bool IsCapturing(unsigned int serialNumber) { return SimBus::Instance().Camera(serialNumber)->IsCapturing(); }
int RetrievalsWaiting(unsigned int serialNumber) {
  return SimBus::Instance().Camera(serialNumber)->RetrievalsWaiting();
}

uint64_t FramesDelivered(unsigned int serialNumber) { return SimBus::Instance().Camera(serialNumber)->FramesDelivered(); }
int Connections(unsigned int serialNumber) { return SimBus::Instance().Camera(serialNumber)->Connections(); }

VideoMode CurrentVideoMode(unsigned int serialNumber) {
  return SimBus::Instance().Camera(serialNumber)->CurrentVideoMode();
}

FrameRate CurrentFrameRate(unsigned int serialNumber) {
  return SimBus::Instance().Camera(serialNumber)->CurrentFrameRate();
}

Format7ImageSettings CurrentFormat7Settings(unsigned int serialNumber) {
  return SimBus::Instance().Camera(serialNumber)->CurrentFormat7Settings();
}

}  // namespace vq::sim
