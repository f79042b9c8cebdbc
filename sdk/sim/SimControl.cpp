#include "sdk/sim/SimControl.h"

#include <stdexcept>

#include "sdk/sim/FleetParser.h"
#include "sdk/sim/SimBus.h"

namespace vq::sim {

using namespace FlyCapture2;

namespace {

std::shared_ptr<SimCamera> Find(unsigned int serialNumber) { return SimBus::Instance().Camera(serialNumber); }

void CheckType(PropertyType type) {
  if (type < 0 || static_cast<unsigned>(type) >= kPropertyTypes)
    throw std::invalid_argument("vq::sim: property type " + std::to_string(static_cast<int>(type)) +
                                " is outside 0 to 17");
}

void CheckPin(unsigned int pin) {
  if (pin >= kPins) throw std::invalid_argument("vq::sim: pin " + std::to_string(pin) + " is outside 0 to 3");
}

}  // namespace

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
void ResetToDefaultFleet() { SimBus::Instance().LoadDefaultFleet(); }

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

void DeliverIncompleteFrames(unsigned int serialNumber, int count) {
  SimBus::Instance().Camera(serialNumber)->DeliverIncompleteFrames(count);
}

void SetFreeRunning(unsigned int serialNumber, bool freeRunning) {
  SimBus::Instance().Camera(serialNumber)->SetFreeRunning(freeRunning);
}

void SetLendBuffers(unsigned int serialNumber, bool lend) {
  SimBus::Instance().Camera(serialNumber)->SetLendBuffers(lend);
}

bool FireSoftwareTrigger(unsigned int serialNumber) { return Find(serialNumber)->FireTrigger(); }

void SetTriggerPeriod(unsigned int serialNumber, unsigned int periodMs) {
  Find(serialNumber)->SetTriggerPeriod(periodMs);
}

bool IsOnBus(unsigned int serialNumber) { return SimBus::Instance().Camera(serialNumber)->IsOnBus(); }
bool IsCapturing(unsigned int serialNumber) { return SimBus::Instance().Camera(serialNumber)->IsCapturing(); }
int RetrievalsWaiting(unsigned int serialNumber) {
  return SimBus::Instance().Camera(serialNumber)->RetrievalsWaiting();
}

uint64_t FramesDelivered(unsigned int serialNumber) {
  return SimBus::Instance().Camera(serialNumber)->FramesDelivered();
}
int BuffersLent(unsigned int serialNumber) { return SimBus::Instance().Camera(serialNumber)->BuffersLent(); }
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

Property GetPropertyState(unsigned int serialNumber, PropertyType type) {
  CheckType(type);
  return Find(serialNumber)->QueryFeatures([&](const SimFeatures& f) { return f.PropertyState(type); });
}

TriggerMode GetTriggerState(unsigned int serialNumber) {
  return Find(serialNumber)->QueryFeatures([](const SimFeatures& f) { return f.TriggerState(); });
}

StrobeControl GetStrobeState(unsigned int serialNumber, unsigned int pin) {
  CheckPin(pin);
  return Find(serialNumber)->QueryFeatures([&](const SimFeatures& f) { return f.StrobeState(pin); });
}

unsigned int GetGPIODirection(unsigned int serialNumber, unsigned int pin) {
  CheckPin(pin);
  return Find(serialNumber)->QueryFeatures([&](const SimFeatures& f) { return f.GPIODirection(pin); });
}

std::optional<Property> LastPropertyWrite(unsigned int serialNumber, PropertyType type) {
  CheckType(type);
  return Find(serialNumber)->QueryFeatures([&](const SimFeatures& f) { return f.LastPropertyWrite(type); });
}

std::optional<TriggerMode> LastTriggerModeWrite(unsigned int serialNumber) {
  return Find(serialNumber)->QueryFeatures([](const SimFeatures& f) { return f.LastTriggerModeWrite(); });
}

std::optional<StrobeControl> LastStrobeWrite(unsigned int serialNumber, unsigned int pin) {
  CheckPin(pin);
  return Find(serialNumber)->QueryFeatures([&](const SimFeatures& f) { return f.LastStrobeWrite(pin); });
}

int PendingTriggers(unsigned int serialNumber) { return Find(serialNumber)->PendingTriggers(); }

uint64_t CallCount(unsigned int serialNumber, const std::string& operation) {
  SimOperation which;
  if (!OperationFromName(operation, &which))
    throw std::invalid_argument("vq::sim: unknown camera operation '" + operation + "'");
  return Find(serialNumber)->CallCount(which);
}

void ResetCallCounts(unsigned int serialNumber) { Find(serialNumber)->ResetCallCounts(); }

}  // namespace vq::sim
