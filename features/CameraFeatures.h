#pragma once
// The mapping between a connected SDK camera and the camera's parameter set:
// reading every feature (properties, video modes and Format7, trigger and
// strobe) into parameters, and writing the parameters back. Built for one
// pass over a camera and thrown away; the caller holds the parameter set's
// lock throughout and keeps the SDK camera connected.
#include <array>
#include <functional>
#include <string>
#include <vector>

#include "log/DriverContext.h"
#include "params/CameraParameters.h"
#include "params/ParameterAccess.h"
#include "sdk/FlyCapture2.h"

namespace vq {

// The modes a camera offers, read from it when its parameters are first
// built. The mode constraints consult them, so they live as long as the
// parameter set that holds those constraints.
struct CameraModes {
  // Frame rates the camera offers in each DCAM video mode (index 23: Format7).
  std::array<std::vector<FlyCapture2::FrameRate>, FlyCapture2::NUM_VIDEOMODES> videoModes;
  std::vector<FlyCapture2::Format7Info> format7Modes;

  // The stored Format7 description of `mode`; std::runtime_error
  // "Camera::GetFormat7Info: Mode %d not supported" when there is none.
  const FlyCapture2::Format7Info& Format7Info(int mode) const;
};

class CameraFeatures {
 public:
  // `tag` gives the end of the camera's log lines ("port#.. ser#.. state:..").
  CameraFeatures(FlyCapture2::Camera& flyCamera, CameraParameters& parameters, CameraModes& modes,
                 std::function<std::string()> tag);

  bool GetFlySettings();
  // Loads the settings file over the parameters and writes them all back.
  bool LoadSettgins();

  bool GetFlyProperty(const std::string& name, FlyCapture2::PropertyType type);
  bool GetFlyProperties();
  bool SetFlyProperty(const std::string& name, FlyCapture2::PropertyType type);
  bool SetFlyProperties();

  void GetSupportedVideoModes();
  bool GetFlyVideoMode();
  bool SetFlyVideoMode();

  void GetSupportedFmt7Modes();
  bool GetFlyFormat7Configuration();
  bool SetFlyFormat7Configuration();

  bool GetFlyTriggerMode();
  bool SetFlyTriggerMode();
  // The trigger parameters select the software trigger: each single grab
  // fires it.
  bool SoftwareTriggerSelected();
  bool GetFlyStrobe();
  bool SetFlyStrobe();

 private:
  template <class T>
  T GetParameter(const std::string& name) const {
    return ParameterAccess::GetParameter<T>(_parameters, name);
  }
  template <class T>
  void SetParameter(const std::string& name, T value, T min, T max) {
    ParameterAccess::SetParameter<T>(_parameters, name, value, min, max);
  }
  std::string Tag() const { return _tag(); }

  FlyCapture2::Camera* _flyCamera;
  CameraParameters& _parameters;
  CameraModes& _modes;
  std::function<std::string()> _tag;
  DriverContext* _context;
};

}  // namespace vq
