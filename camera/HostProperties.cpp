#include "camera/HostProperties.h"

#include <strings.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <ctime>
#include <exception>
#include <functional>
#include <optional>
#include <stdexcept>
#include <type_traits>
#include <utility>

#include "camera/Camera.h"
#include "features/FeatureTables.h"
#include "features/PropertyNames.h"
#include "params/ParamEnum.h"
#include "params/ParameterAccess.h"

namespace vq {

namespace {

bool Is(const char* name, const char* word) { return strcasecmp(name, word) == 0; }

// The value as the host's 32-bit integer, or nothing when it does not fit.
// Floating-point values are truncated toward zero; NaN and the infinities
// have no integer to report.
template <class T>
std::optional<int32_t> AsHostInteger(T value) {
  if constexpr (std::is_floating_point_v<T>) {
    if (!std::isfinite(value)) return std::nullopt;
    const T truncated = std::trunc(value);
    if (truncated < static_cast<T>(INT32_MIN) || truncated > static_cast<T>(INT32_MAX)) return std::nullopt;
    return static_cast<int32_t>(truncated);
  } else {
    if (!std::in_range<int32_t>(value)) return std::nullopt;
    return static_cast<int32_t>(value);
  }
}

// The smallest and the largest option value; (0, 0) without options.
std::pair<int64_t, int64_t> OptionValueRange(const ParamEnum& param) {
  if (param._values.empty()) return {0, 0};
  auto [low, high] = std::minmax_element(param._values.begin(), param._values.end());
  return {*low, *high};
}

}  // namespace

HostProperties::HostProperties(Camera& camera, CameraBus& bus, const std::unique_ptr<FlyCapture2::Camera>& sdkCamera)
    : _camera(camera), _bus(bus), _sdkCamera(sdkCamera), _context(GetDriverContext()) {}

bool HostProperties::Set(const char* name, int value) {
  WriteLog(_context, kLogDetail, "Camera::SetProperty: prop=%s value=%d, port=%d \n", name, value, _camera.Port());
  try {
    if (RunCommandWord(name, value)) return true;
    if (const life::Refusal* refused = life::Refuses(life::Op::kSetProperty, _camera.State().State())) {
      life::LogLine(_context, refused->line, name, _camera.Tag().c_str());
      return refused->result;
    }
    if (Is(name, "TriggerSoftware")) return TriggerFromHost(name);
    return WriteHostValue(name, value);
  } catch (...) {
    WriteLog(_context, kLogError, "Camera::SetProperty: Exception: prop=%s value=%d, %s\n", name, value,
             _camera.Tag().c_str());
    return false;
  }
}

// The command words that act on the driver, the camera list or the bus, in
// any state of the camera; false for any other name.
bool HostProperties::RunCommandWord(const char* name, int value) {
  if (Is(name, "debugview")) {
    _context->debugView = value;
    WriteLog(_context, kLogError, "DebugView level set to %d\n", value);
  } else if (Is(name, "loglevel")) {
    _context->logLevel = value;
    WriteLog(_context, kLogError, "Log level set to %d\n", value);
  } else if (Is(name, "resetallstats") || Is(name, "resetallstat")) {
    WriteLog(_context, kLogError, "RESETTING ALL camera stats\n");
    _bus.ResetAllStats();
  } else if (Is(name, "PrintAllStat") || Is(name, "PrintAllStats")) {
    _bus.PrintAllStats();
  } else if (Is(name, "PrintStat")) {
    WriteLog(_context, kLogError, "Camera STATS: %s, %s\n", _camera.Statistics().Text().c_str(), _camera.Tag().c_str());
    WriteLog(_context, kLogError, "Camera DROPS: %s, %s\n", _camera.Frames().DropsText().c_str(),
             _camera.Tag().c_str());
  } else if (Is(name, "BusRemoval")) {
    WriteLog(_context, kLogError, "Simulating BUS REMOVAL callback, %s\n", _camera.Tag().c_str());
    _bus.SimulateRemoval(_camera.SerialNumber());
  } else if (Is(name, "BusArrival")) {
    WriteLog(_context, kLogError, "Simulating BUS ARRIVAL callback, %s\n", _camera.Tag().c_str());
    _bus.SimulateArrival(_camera.SerialNumber());
  } else if (Is(name, "continuous") || Is(name, "continous")) {
    _camera.SetContinuousGrabMode(value != 0);
  } else if (Is(name, "executebusreset")) {
    FireBusReset();
  } else {
    return false;
  }
  return true;
}

void HostProperties::FireBusReset() {
  WriteLog(_context, kLogInfo, "Camera::SetProperty: Execute Bus Reset command arrived, %s\n", _camera.Tag().c_str());
  FlyCapture2::BusManager& bus = _bus.SdkBus();
  FlyCapture2::PGRGuid guid;
  FlyCapture2::Error error = bus.GetCameraFromSerialNumber(_camera.SerialNumber(), &guid);
  if (error != FlyCapture2::PGRERROR_OK) {
    WriteLog(_context, kLogError, "Camera::SetProperty: Could not obtain guid for camera #%d: %s, port=%d\n",
             _camera.SerialNumber(), error.GetDescription(), _camera.Port());
    return;
  }
  WriteLog(_context, kLogInfo, "Camera::SetProperty: CallingExecute FireBusReset, guid=%d, port=%d\n",
           static_cast<int>(guid.value[0]), _camera.Port());
  bus.FireBusReset(&guid);
}

// For a host that fires the software trigger itself (while capturing
// continuously); a single grab fires it on its own.
bool HostProperties::TriggerFromHost(const char* name) {
  LockDeferringLog<std::mutex> lock(_camera.Settings().Lock());
  const life::Refusal* refused =
      life::Refuses(life::Op::kTriggerSoftware, _camera.State().State(), _sdkCamera != nullptr);
  if (refused) {
    life::LogLine(_context, refused->line, name, _camera.Tag().c_str());
    return refused->result;
  }
  return _sdkCamera->FireSoftwareTrigger() == FlyCapture2::PGRERROR_OK;
}

// A value of the camera's parameter set from the host. The set is brought in
// line with it, what changed is kept as the host's, and it reaches the camera
// now, through the bus thread or at the next open, as its kind needs. A name
// without a parameter is the command "Reset" or nothing.
bool HostProperties::WriteHostValue(const char* name, int value) {
  LockDeferringLog<std::mutex> lock(_camera.Settings().Lock());
  CameraParameters& parameters = _camera.Settings().Parameters();
  const std::string p = TranslatePropertyName(name);
  Param_* param = parameters.FindParam(p);
  if (!param) return Is(name, "Reset") && ResetFromHost(name);
  CameraParameters::ValueTexts before = parameters.Values();
  const bool settable = ParameterAccess::VisitIntegerParam(
      *param,
      ParameterAccess::Overloaded{
          [&](ParamEnum& choice) { choice.SelectByValue(static_cast<int64_t>(value)); },
          [&](Param<bool>&) { ParameterAccess::SetParameter<bool>(parameters, p, value != 0, value != 0, value != 0); },
          [&]<class T>(Param<T>&) {
            const auto v = static_cast<T>(value);
            ParameterAccess::SetParameter<T>(parameters, p, v, v, v);
          },
      });
  if (!settable) {
    WriteLog(_context, kLogInfo, "Camera::SetProperty(%s): WARNING: parameter not found, ignoring: %s\n", name,
             _camera.Tag().c_str());
    return false;
  }
  // The set is brought in line with the new value (a new video mode may
  // need another frame rate), and what changed is kept as the host's: the
  // open sequence reads the features from the camera and loads the
  // settings file before it writes them, and the host's values must win.
  parameters.ApplyConstraints();
  parameters.KeepHostValue(p);
  for (auto& [changed, text] : parameters.Values()) {
    const auto old = before.find(changed);
    if (old == before.end() || old->second != text) parameters.KeepHostValue(changed);
  }
  // Every property that has a parameter goes to the camera. Trigger and
  // strobe values follow through the bus thread, which stops and restarts
  // a capture around them; video mode, frame rate and Format7 values reach
  // the camera at its next open, where the host learns the frame's size.
  if (_sdkCamera) _camera.Features().SetFlyProperties();
  if (IsTriggerStrobeParameter(p)) {
    _camera.State().AddRequest(ReqApplyTriggerStrobe);
  } else if (IsGeometryParameter(p)) {
    WriteLog(_context, kLogInfo, "Camera::SetProperty(%s): takes effect when the camera is opened again, %s\n", name,
             _camera.Tag().c_str());
  }
  return true;
}

// The host's "Reset": the camera is marked as failed, and the bus thread
// closes and reopens it.
bool HostProperties::ResetFromHost(const char* name) {
  WriteLog(_context, kLogInfo, "Camera::SetProperty(%s):Setting camera state to Grab Error, %s\n", name,
           _camera.Tag().c_str());
  // Taken from the state seen now: a close that overtook this command keeps
  // the camera closed.
  const CamState current = _camera.State().State();
  if (current == CamGrabErr)
    _camera.State().SetState(CamGrabErr);  // logs that nothing changes
  else if (life::Moves(life::Mover::kHost, current, CamGrabErr))
    _camera.State().ChangeState(current, CamGrabErr);
  WriteLog(_context, kLogInfo, "Camera::SetProperty(%s):State set: %s\n", name, _camera.Tag().c_str());
  return true;
}

bool HostProperties::Get(const char* name, int* value) {
  WriteLog(_context, kLogDetail, "Camera::GetProperty: prop=%s \n", name);
  // A value the host's integer cannot hold, or a fault reading it.
  auto Failed = [&] {
    WriteLog(_context, kLogError, "Camera::GetProperty: Exception: prop=%s value=%d, %s \n", name, *value,
             _camera.Tag().c_str());
    return false;
  };
  try {
    if (std::optional<int> word = ReadCommandWord(name)) {
      *value = *word;
      return true;
    }
    if (const life::Refusal* refused = life::Refuses(life::Op::kGetProperty, _camera.State().State())) {
      life::LogLine(_context, refused->line, name, _camera.Tag().c_str());
      return refused->result;
    }
    LockDeferringLog<std::mutex> lock(_camera.Settings().Lock());
    const Param_* param = _camera.Settings().Parameters().FindParam(TranslatePropertyName(name));
    if (!param) return false;
    bool fits = true;
    auto report = [&](std::optional<int32_t> number) {
      if (number)
        *value = *number;
      else
        fits = false;
    };
    const bool found = ParameterAccess::VisitIntegerParam(
        *param, ParameterAccess::Overloaded{
                    [&](const ParamEnum& choice) { report(AsHostInteger(choice.GetValue())); },
                    [&](const Param<bool>& flag) { *value = flag._value ? 1 : 0; },
                    [&](const Param<int>& number) { *value = number._value; },
                    [&]<class T>(const Param<T>& number) { report(AsHostInteger(number._value)); },
                });
    return fits ? found : Failed();
  } catch (...) {
    return Failed();
  }
}

// The words the driver answers itself, in any state of the camera; nothing
// for any other name. The frame's words belong to the frame last handed to
// the host: read inside the completion callback, to the frame just announced.
std::optional<int> HostProperties::ReadCommandWord(const char* name) const {
  if (Is(name, "PixelSize")) {
    WriteLog(_context, kLogDetail, "Camera::GetProperty pixelsize=%d \n", _camera.BitsPerPixel());
    return _camera.BitsPerPixel();
  }
  if (Is(name, "continuous") || Is(name, "continous")) return _camera.AsksContinuous() ? 1 : 0;
  if (Is(name, "FrameNumber")) return static_cast<int>(static_cast<uint32_t>(_camera.Frames().LastNumber()));
  if (Is(name, "FrameTimestampLow") || Is(name, "FrameTimestampHigh")) {
    const uint64_t time = _camera.Frames().LastTimeUs();
    return static_cast<int>(static_cast<uint32_t>(Is(name, "FrameTimestampLow") ? time : time >> 32));
  }
  if (Is(name, "FramesDropped")) return static_cast<int>(_camera.Frames().Dropped());
  if (Is(name, "FramesIncomplete")) return static_cast<int>(_camera.Frames().Incomplete());
  return std::nullopt;
}

bool HostProperties::Range(const char* name, int* minValue, int* maxValue) {
  WriteLog(_context, kLogInfo, "Camera::GetRange(%s), %s \n", name, _camera.Tag().c_str());
  if (const life::Refusal* refused = life::Refuses(life::Op::kGetRange, _camera.State().State())) {
    life::LogLine(_context, refused->line, _camera.Tag().c_str());
    return refused->result;
  }
  LockDeferringLog<std::mutex> lock(_camera.Settings().Lock());
  const Param_* param = _camera.Settings().Parameters().FindParam(TranslatePropertyName(name));
  if (!param) return false;
  bool fits = true;
  auto bounds = [&](std::optional<int32_t> low, std::optional<int32_t> high) {
    fits = low && high;
    if (low) *minValue = *low;
    if (fits) *maxValue = *high;
  };
  const bool ranged = ParameterAccess::VisitIntegerParam(
      *param,
      ParameterAccess::Overloaded{
          [&](const ParamEnum& choice) {
            auto [low, high] = OptionValueRange(choice);
            bounds(AsHostInteger(low), AsHostInteger(high));
          },
          [&](const Param<bool>&) { bounds(0, 1); },
          [&](const Param<int>& number) { bounds(number._min, number._max); },
          [&](const Param<unsigned>& number) {
            bounds(static_cast<int32_t>(number._min), static_cast<int32_t>(number._max));
          },
          [&]<class T>(const Param<T>& number) { bounds(AsHostInteger(number._min), AsHostInteger(number._max)); },
      });
  // A range the host's integers cannot hold fails the host's call as a fault
  // would: getPropertyRange logs its exception line.
  if (!fits) throw std::range_error("Camera::GetRange: the range does not fit the host's integers");
  if (!ranged) return false;
  WriteLog(_context, kLogInfo, "Camera::GetRange(%s): leaving  min=%d   max=%d, %s \n", name, *minValue, *maxValue,
           _camera.Tag().c_str());
  return true;
}

}  // namespace vq
