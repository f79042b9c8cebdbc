#include "sdk/sim/FeatureReader.h"

#include <cstdio>
#include <set>

#include "sdk/sim/VideoModeTable.h"

namespace vq::sim {

using namespace FlyCapture2;

namespace {

bool InRange(unsigned int value, const PropertyInfo& info) { return value >= info.min && value <= info.max; }
bool InRange(float value, const StrobeInfo& info) { return value >= info.minValue && value <= info.maxValue; }

void ReadFlag(const FleetNode& entry, const char* key, bool* flag) {
  if (entry.Has(key)) *flag = entry[key].Bool();
}

void ReadText(const FleetNode& entry, const char* key, char (&text)[sk_maxStringLength]) {
  if (entry.Has(key)) std::snprintf(text, sizeof text, "%s", entry[key].String().c_str());
}

// ---- properties ------------------------------------------------------------------

// A property that the built-in set lacks: present, manual, read back, switched
// on; its range must be given.
PropertyConfig NewProperty(const FleetNode& entry) {
  PropertyConfig property;
  property.info.present = property.info.manualSupported = property.info.readOutSupported = true;
  property.state.onOff = true;
  property.info.min = entry["min"].UInt32();
  property.info.max = entry["max"].UInt32();
  property.info.absMin = static_cast<float>(property.info.min);
  property.info.absMax = static_cast<float>(property.info.max);
  property.state.valueA = property.state.valueB = property.info.min;  // value B: white balance only
  return property;
}

PropertyConfig ReadProperty(PropertyType type, const FleetNode& entry, const PropertyConfig& builtin) {
  entry.RequireObject();
  if (entry.Has("present") && !entry["present"].Bool()) return PropertyConfig();
  PropertyConfig property = builtin.info.present ? builtin : NewProperty(entry);
  PropertyInfo& info = property.info;
  Property& state = property.state;
  if (entry.Has("min")) info.min = entry["min"].UInt32();
  if (entry.Has("max")) info.max = entry["max"].UInt32();
  if (entry.Has("absMin")) info.absMin = entry["absMin"].Float();
  if (entry.Has("absMax")) info.absMax = entry["absMax"].Float();
  ReadFlag(entry, "auto", &info.autoSupported);
  ReadFlag(entry, "manual", &info.manualSupported);
  ReadFlag(entry, "onOff", &info.onOffSupported);
  ReadFlag(entry, "onePush", &info.onePushSupported);
  ReadFlag(entry, "absolute", &info.absValSupported);
  ReadFlag(entry, "readOut", &info.readOutSupported);
  ReadText(entry, "units", info.pUnits);
  ReadText(entry, "unitAbbr", info.pUnitAbbr);

  // Start-up state: what is left out keeps the built-in state where the
  // changed description allows it.
  state.present = true;
  if (!InRange(state.valueA, info)) state.valueA = info.min;
  if (entry.Has("value")) state.valueA = entry["value"].UInt32();
  if (type == WHITE_BALANCE) {
    if (!InRange(state.valueB, info)) state.valueB = info.min;
    if (entry.Has("valueB")) state.valueB = entry["valueB"].UInt32();
  } else {
    if (entry.Has("valueB")) entry["valueB"].Reject("only WhiteBalance has a value B");
    state.valueB = 0;
  }
  if (!info.onOffSupported) state.onOff = true;
  if (!info.autoSupported) state.autoManualMode = false;
  if (info.autoSupported && !info.manualSupported) state.autoManualMode = true;
  if (!info.absValSupported) state.absControl = false;
  ReadFlag(entry, "on", &state.onOff);
  ReadFlag(entry, "autoMode", &state.autoManualMode);
  ReadFlag(entry, "absControl", &state.absControl);
  return property;
}

PropertyType PropertyTypeOf(const FleetNode& where, const std::string& name) {
  PropertyType type;
  if (!PropertyTypeFromName(name, &type)) where.Reject("unknown property \"" + name + "\"");
  return type;
}

// An object keyed by property name, or an array of objects with a "name".
void ReadProperties(const FleetNode& list, FeatureConfig* features) {
  const auto builtin = features->properties;
  features->properties = {};
  std::set<PropertyType> seen;
  auto read = [&](const FleetNode& where, const std::string& name, const FleetNode& entry) {
    PropertyType type = PropertyTypeOf(where, name);
    if (!seen.insert(type).second) where.Reject("property " + name + " is listed twice");
    features->properties[type] = ReadProperty(type, entry, builtin[type]);
  };
  if (list.Value().is_array()) {
    for (const FleetNode& entry : list.Elements()) {
      FleetNode name = entry.RequireObject()["name"];
      read(name, name.String(), entry);
    }
  } else {
    for (const auto& [name, entry] : list.Members()) read(entry, name, entry);
  }
}

// ---- trigger ------------------------------------------------------------------------

unsigned int TriggerSourceValue(const FleetNode& node) {
  if (node.Value().is_string()) {
    const std::string& name = node.String();
    for (unsigned int pin = 0; pin < kPins; ++pin)
      if (name == "GPIO" + std::to_string(pin)) return pin;
    node.Reject("unknown trigger source \"" + name + "\"");
  }
  unsigned int source = node.UInt32();
  if (source >= 32) node.Reject("trigger source " + std::to_string(source) + " is outside 0 to 31");
  return source;
}

unsigned int LowestMode(unsigned int modeMask) {
  for (unsigned int mode = 0; mode < 16; ++mode)
    if (modeMask & TriggerModeBit(mode)) return mode;
  return 0;
}

unsigned int LowestSource(unsigned int sourceMask) {
  for (unsigned int source = 0; source < 32; ++source)
    if (sourceMask >> source & 1u) return source;
  return 0;
}

void ReadTriggerState(const FleetNode& current, TriggerConfig* trigger) {
  current.RequireObject();
  TriggerMode& state = trigger->state;
  ReadFlag(current, "on", &state.onOff);
  if (current.Has("mode")) state.mode = current["mode"].UInt32();
  if (current.Has("source")) state.source = TriggerSourceValue(current["source"]);
  if (current.Has("polarity")) state.polarity = current["polarity"].UInt32();
  if (current.Has("parameter")) state.parameter = current["parameter"].UInt32();
}

TriggerConfig ReadTrigger(const FleetNode& entry, const TriggerConfig& builtin) {
  entry.RequireObject();
  if (entry.Has("present") && !entry["present"].Bool()) return TriggerConfig();
  TriggerConfig trigger = builtin;
  TriggerModeInfo& info = trigger.info;
  if (!info.present) {
    // A trigger that the built-in set lacks must name its modes and sources.
    for (const char* key : {"modes", "sources"})
      if (!entry.Has(key)) entry.Reject(std::string("missing required key '") + key + "'");
    info.present = info.onOffSupported = info.readOutSupported = info.valueReadable = true;
  }
  if (entry.Has("modes")) {
    info.modeMask = 0;
    for (const FleetNode& mode : entry["modes"].Elements()) {
      unsigned int number = mode.UInt32();
      if (number > 15) mode.Reject("trigger mode " + std::to_string(number) + " is outside 0 to 15");
      info.modeMask |= TriggerModeBit(number);
    }
  }
  if (entry.Has("sources")) {
    info.sourceMask = 0;
    for (const FleetNode& source : entry["sources"].Elements()) info.sourceMask |= 1u << TriggerSourceValue(source);
  }
  ReadFlag(entry, "onOff", &info.onOffSupported);
  ReadFlag(entry, "polarity", &info.polaritySupported);
  ReadFlag(entry, "readOut", &info.readOutSupported);
  ReadFlag(entry, "valueReadable", &info.valueReadable);
  ReadFlag(entry, "softwareTrigger", &info.softwareTriggerSupported);
  if (entry.Has("periodMs")) trigger.periodMs = entry["periodMs"].UInt32();

  TriggerMode& state = trigger.state;
  if (!TriggerModeSupported(info, state.mode)) state.mode = LowestMode(info.modeMask);
  if (!TriggerSourceSupported(info, state.source)) state.source = LowestSource(info.sourceMask);
  if (!info.polaritySupported) state.polarity = 0;
  if (entry.Has("current")) ReadTriggerState(entry["current"], &trigger);
  return trigger;
}

// ---- strobes and GPIO -------------------------------------------------------------------

StrobeConfig ReadStrobe(unsigned int pin, const FleetNode& entry, const StrobeConfig& builtin) {
  StrobeConfig strobe = builtin;
  StrobeInfo& info = strobe.info;
  if (!info.present) {
    info.present = info.onOffSupported = info.readOutSupported = true;
    info.minValue = entry["min"].Float();
    info.maxValue = entry["max"].Float();
  }
  info.source = pin;
  if (entry.Has("min")) info.minValue = entry["min"].Float();
  if (entry.Has("max")) info.maxValue = entry["max"].Float();
  ReadFlag(entry, "onOff", &info.onOffSupported);
  ReadFlag(entry, "polarity", &info.polaritySupported);
  ReadFlag(entry, "readOut", &info.readOutSupported);

  StrobeControl& state = strobe.state;
  state.source = pin;
  if (!InRange(state.delay, info)) state.delay = info.minValue;
  if (!InRange(state.duration, info)) state.duration = info.minValue;
  if (!info.polaritySupported) state.polarity = 0;
  if (entry.Has("current")) {
    FleetNode current = entry["current"];
    current.RequireObject();
    ReadFlag(current, "on", &state.onOff);
    if (current.Has("polarity")) state.polarity = current["polarity"].UInt32();
    if (current.Has("delay")) state.delay = current["delay"].Float();
    if (current.Has("duration")) state.duration = current["duration"].Float();
  }
  return strobe;
}

void ReadStrobes(const FleetNode& list, FeatureConfig* features) {
  const auto builtin = features->strobes;
  features->strobes = {};
  std::set<unsigned int> seen;
  for (const FleetNode& entry : list.Elements()) {
    FleetNode pinNode = entry.RequireObject()["pin"];
    unsigned int pin = pinNode.UInt32();
    if (pin >= kPins) pinNode.Reject("strobe pin " + std::to_string(pin) + " is outside 0 to 3");
    if (!seen.insert(pin).second) pinNode.Reject("strobe pin " + std::to_string(pin) + " is listed twice");
    if (entry.Has("present") && !entry["present"].Bool()) continue;
    features->strobes[pin] = ReadStrobe(pin, entry, builtin[pin]);
  }
}

unsigned int GpioDirectionValue(const FleetNode& node) {
  if (node.Value().is_string()) {
    if (node.String() == "in") return 0;
    if (node.String() == "out") return 1;
    node.Reject("unknown GPIO direction \"" + node.String() + "\"; expected \"in\" or \"out\"");
  }
  unsigned int direction = node.UInt32();
  if (direction > 1) node.Reject("GPIO direction " + std::to_string(direction) + " is neither 0 (in) nor 1 (out)");
  return direction;
}

void ReadGpio(const FleetNode& list, FeatureConfig* features) {
  std::vector<FleetNode> pins = list.Elements();
  if (pins.size() > kPins) list.Reject("the camera has 4 GPIO pins, " + std::to_string(pins.size()) + " are given");
  features->gpioDirections = {};
  for (size_t pin = 0; pin < pins.size(); ++pin) features->gpioDirections[pin] = GpioDirectionValue(pins[pin]);
}

// ---- faults ---------------------------------------------------------------------------------

unsigned int FaultSelectorValue(FaultSelector selector, const FleetNode& node) {
  switch (selector) {
    case FaultSelector::PropertyType:
      if (node.Value().is_string()) return static_cast<unsigned>(PropertyTypeOf(node, node.String()));
      break;
    case FaultSelector::VideoMode: return static_cast<unsigned>(node.VideoModeValue(true));
    default: break;
  }
  unsigned int number = node.UInt32();
  const unsigned int limit = selector == FaultSelector::PropertyType ? kPropertyTypes
                             : selector == FaultSelector::Pin        ? kPins
                                                                     : unsigned{NUM_MODES};
  if (number >= limit) node.Reject(std::to_string(number) + " is outside 0 to " + std::to_string(limit - 1));
  return number;
}

FaultMask FaultMaskValue(SimOperation operation, const FleetNode& node) {
  if (node.Value().is_boolean() || SelectorOf(operation) == FaultSelector::None) return node.Bool() ? kEveryCall : 0;
  FaultMask mask = 0;
  for (const FleetNode& element : node.Elements()) mask |= CallsFor(FaultSelectorValue(SelectorOf(operation), element));
  return mask;
}

}  // namespace

void FeatureReader::Read(const FleetNode& camera, FeatureConfig* features) {
  if (camera.Has("properties")) ReadProperties(camera["properties"], features);
  if (camera.Has("trigger")) features->trigger = ReadTrigger(camera["trigger"], features->trigger);
  if (camera.Has("strobes")) ReadStrobes(camera["strobes"], features);
  if (camera.Has("gpio")) ReadGpio(camera["gpio"], features);
}

void FeatureReader::ReadFaults(const FleetNode& faults, CameraFaults* target) {
  for (size_t i = 0; i < kOperationCount; ++i) {
    auto operation = static_cast<SimOperation>(i);
    const char* key = FaultKey(operation);
    if (key && faults.Has(key)) *target->MaskOf(operation) = FaultMaskValue(operation, faults[key]);
  }
}

}  // namespace vq::sim
