// The external trigger and the strobe outputs as parameters of the group
// "Strobe / Trigger": created from what the camera reports on the first read,
// refreshed on later reads, and written back when the camera opens.
#include <cctype>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <utility>

#include "features/CameraFeatures.h"
#include "features/FeatureTables.h"
#include "params/ParamEnum.h"
#include "sdk/FlyError.h"

namespace vq {

namespace {

constexpr const char* kGroup = "Strobe / Trigger";
constexpr unsigned kStrobePins = 4;
constexpr unsigned kTriggerModes = 16;
constexpr unsigned kTriggerParameterMax = 0x7fffffff;

using Options = std::initializer_list<std::pair<const char*, int64_t>>;
constexpr Options kPolarityOptions = {{"Low", 0}, {"High", 1}};

bool Failed(const FlyCapture2::Error& error) { return error != FlyCapture2::PGRERROR_OK; }

ParamEnum& EnumParam(CameraParameters& params, const std::string& name) {
  return dynamic_cast<ParamEnum&>(params.GetParam(name));
}

// The enumeration `name`, created with `options` when the set lacks it.
ParamEnum& EnsureEnum(CameraParameters& params, const std::string& name, Options options) {
  if (!params.HasParam(name)) {
    auto param = std::make_unique<ParamEnum>(kGroup, name, "");
    for (const auto& [label, value] : options) param->AddOption(label, value);
    params.AddParam(param.release());
  }
  return EnumParam(params, name);
}

// The trigger modes of the mode mask: bit 15 stands for mode 0, bit 0 for mode 15.
ParamEnum& EnsureTriggerModes(CameraParameters& params, unsigned int modeMask) {
  const std::string name = TriggerStrobeNames[TriggerMode1Name];
  if (!params.HasParam(name)) {
    auto param = std::make_unique<ParamEnum>(kGroup, name, "");
    for (unsigned mode = 0; mode < kTriggerModes; ++mode) {
      if (modeMask & (1u << (kTriggerModes - 1 - mode))) param->AddOption(std::to_string(mode), mode);
    }
    params.AddParam(param.release());
  }
  return EnumParam(params, name);
}

// The selected option's value of an enumeration that may be absent; 0 then.
unsigned int ValueOrZero(CameraParameters& params, const std::string& name) {
  return params.HasParam(name) ? static_cast<unsigned int>(EnumParam(params, name).GetValue()) : 0;
}

}  // namespace

bool CameraFeatures::GetFlyTriggerMode() {
  FlyCapture2::TriggerModeInfo info;
  FlyCapture2::Error error = _flyCamera->GetTriggerModeInfo(&info);
  if (Failed(error)) {
    WriteLog(_context, kLogError, "Camera::GetFlyTriggerMode: ERROR: Failed to get trigger mode info %s: %s\n",
             Tag().c_str(), FormatFlyError(error).c_str());
    return false;
  }
  if (!info.present || !info.onOffSupported) return true;

  FlyCapture2::TriggerMode trigger;
  error = _flyCamera->GetTriggerMode(&trigger);
  if (Failed(error)) {
    WriteLog(_context, kLogError, "Camera::GetFlyTriggerMode: ERROR: Failed to get trigger mode %s: %s\n",
             Tag().c_str(), FormatFlyError(error).c_str());
    return false;
  }
  SetParameter<bool>(TriggerStrobeNames[TriggerOnName], trigger.onOff, false, true);
  EnsureEnum(_parameters, TriggerStrobeNames[TriggerSourceName],
             {{"GPIO0", 0}, {"GPIO1", 1}, {"GPIO2", 2}, {"GPIO3", 3}, {"None", 4}})
      .SelectByValue(trigger.source);
  EnsureTriggerModes(_parameters, info.modeMask).SelectByValue(trigger.mode);
  SetParameter<unsigned>(TriggerStrobeNames[TriggerParameterName], trigger.parameter, 0, kTriggerParameterMax);
  if (info.polaritySupported)
    EnsureEnum(_parameters, TriggerStrobeNames[TriggerPolarityName], kPolarityOptions).SelectByValue(trigger.polarity);
  GetFlyProperty("TriggerDelay", FlyCapture2::TRIGGER_DELAY);
  return true;
}

bool CameraFeatures::GetFlyStrobe() {
  // Pins are reported from 0 up; the first absent one ends the list.
  for (unsigned pin = 0; pin < kStrobePins; ++pin) {
    FlyCapture2::StrobeInfo info;
    info.source = pin;
    FlyCapture2::Error error = _flyCamera->GetStrobeInfo(&info);
    if (Failed(error)) {
      WriteLog(_context, kLogError, "Camera::GetFlyStrobe: ERROR: Failed to get strobe info: %s\n",
               FormatFlyError(error).c_str());
      return false;
    }
    if (!info.present) return true;

    FlyCapture2::StrobeControl control;
    control.source = pin;
    error = _flyCamera->GetStrobe(&control);
    if (Failed(error)) {
      WriteLog(_context, kLogError, "Camera::GetFlyStrobe: ERROR: Failed to get strobe control: %s\n",
               FormatFlyError(error).c_str());
      return false;
    }
    SetParameter<bool>(PinParamName(StrobeOnName, pin), control.onOff, false, true);
    SetParameter<float>(PinParamName(StrobeDelayName, pin), control.delay, info.minValue, info.maxValue);
    SetParameter<float>(PinParamName(StrobeDurationName, pin), control.duration, info.minValue, info.maxValue);
    if (info.polaritySupported)
      EnsureEnum(_parameters, PinParamName(StrobePolarityName, pin), kPolarityOptions).SelectByValue(control.polarity);

    unsigned int direction = 0;
    error = _flyCamera->GetGPIOPinDirection(pin, &direction);
    if (Failed(error)) {
      WriteLog(_context, kLogError, "Camera::GetFlyStrobe: ERROR: Failed to get GPIO direction: %s\n",
               FormatFlyError(error).c_str());
      return false;
    }
    EnsureEnum(_parameters, PinParamName(GPIODirectionName, pin), {{"In", 0}, {"Out", 1}}).SelectByValue(direction);
  }
  return true;
}

bool CameraFeatures::SetFlyStrobe() {
  for (unsigned pin = 0; pin < kStrobePins; ++pin) {
    const std::string onName = PinParamName(StrobeOnName, pin);
    if (!_parameters.HasParam(onName)) {
      WriteLog(_context, kLogInfo, "Camera::SetFlyStrobe: WARNING: Strobe control parameter not found, skipping\n");
      return true;
    }
    FlyCapture2::StrobeControl control;
    control.source = pin;
    control.onOff = GetParameter<bool>(onName);
    control.delay = GetParameter<float>(PinParamName(StrobeDelayName, pin));
    control.duration = GetParameter<float>(PinParamName(StrobeDurationName, pin));
    control.polarity = ValueOrZero(_parameters, PinParamName(StrobePolarityName, pin));
    FlyCapture2::Error error = _flyCamera->SetStrobe(&control, false);
    if (Failed(error)) {
      WriteLog(_context, kLogError, "Camera::SetFlyStrobe: ERROR: Failed to set strobe control: %s\n",
               FormatFlyError(error).c_str());
      return false;
    }
    const auto direction =
        static_cast<unsigned int>(EnumParam(_parameters, PinParamName(GPIODirectionName, pin)).GetValue());
    error = _flyCamera->SetGPIOPinDirection(pin, direction, false);
    if (Failed(error)) {
      WriteLog(_context, kLogError, "Camera::SetFlyStrobe: ERROR: Failed to set GPIO direction: %s\n",
               FormatFlyError(error).c_str());
      return false;
    }
  }
  return true;
}

bool CameraFeatures::SoftwareTriggerSelected() {
  if (!_parameters.HasParam(TriggerStrobeNames[TriggerOnName])) return false;
  return GetParameter<bool>(TriggerStrobeNames[TriggerOnName]) &&
         EnumParam(_parameters, TriggerStrobeNames[TriggerSourceName]).GetValue() ==
             FlyCapture2::SOFTWARE_TRIGGER_SOURCE;
}

bool IsTriggerStrobeParameter(const std::string& name) {
  for (const char* base : TriggerStrobeNames) {
    const size_t length = std::strlen(base);
    if (name.compare(0, length, base) != 0) continue;
    if (name.size() == length || (name.size() == length + 1 && std::isdigit(static_cast<unsigned char>(name.back()))))
      return true;
  }
  return name == "TriggerDelay";
}

bool CameraFeatures::SetFlyTriggerMode() {
  if (!_parameters.HasParam(TriggerStrobeNames[TriggerOnName])) {
    WriteLog(_context, kLogInfo, "Camera::SetFlyTriggerMode: WARNING: Trigger mode parameter not found, skipping %s\n",
             Tag().c_str());
    return true;
  }
  FlyCapture2::TriggerMode trigger;
  trigger.onOff = GetParameter<bool>(TriggerStrobeNames[TriggerOnName]);
  trigger.mode = static_cast<unsigned int>(EnumParam(_parameters, TriggerStrobeNames[TriggerMode1Name]).GetValue());
  trigger.source = static_cast<unsigned int>(EnumParam(_parameters, TriggerStrobeNames[TriggerSourceName]).GetValue());
  trigger.parameter = GetParameter<unsigned>(TriggerStrobeNames[TriggerParameterName]);
  trigger.polarity = ValueOrZero(_parameters, TriggerStrobeNames[TriggerPolarityName]);
  FlyCapture2::Error error = _flyCamera->SetTriggerMode(&trigger, false);
  if (Failed(error)) {
    WriteLog(_context, kLogError, "Camera::SetFlyTriggerMode: ERROR: Failed to set trigger mode %s: %s\n",
             Tag().c_str(), FormatFlyError(error).c_str());
    return false;
  }
  SetFlyProperty("TriggerDelay", FlyCapture2::TRIGGER_DELAY);
  return true;
}

}  // namespace vq
