#pragma once
// A camera's settings: its parameter set, the lock that whoever reads, changes
// or replaces the set holds, the modes the camera reported, and the values of
// the camera's last good open.
//
// The bus thread loads them at each open (LoadFile, then PutBackOverCamera
// after the camera's own values were read) and writes them to the camera; the
// host's property commands and the configuration dialog read and change the
// set under Lock().
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

#include "features/CameraFeatures.h"
#include "log/DriverContext.h"
#include "params/CameraIdentity.h"
#include "params/CameraParameters.h"
#include "sdk/FlyCapture2.h"

namespace vq {

class CameraSettings {
 public:
  explicit CameraSettings(const CameraIdentity& identity) : _parameters(identity) {}

  CameraParameters& Parameters() { return _parameters; }
  std::mutex& Lock() { return _lock; }

  // Reading the camera's features into the set and writing them back (see
  // CameraFeatures). The caller holds Lock() and keeps `camera` connected.
  CameraFeatures Features(FlyCapture2::Camera& camera, std::function<std::string()> tag) {
    return CameraFeatures(camera, _parameters, _modes, std::move(tag));
  }

  // The rest of this part runs on the bus thread, which holds Lock().

  // Reads the settings file and applies its log settings to `context`.
  void LoadFile(DriverContext* context);
  // After the camera's values were read into the set: the file and the
  // host's values go back over them. A camera reopened after a removal or an
  // error may have come back with its power-on settings, so the values of its
  // last good open (what the camera reported then included) go back first;
  // the frame's geometry of that open wins over the file too, for the host
  // learns a new frame size only at an open of its own.
  void PutBackOverCamera(bool reopening);
  // The open succeeded: its values are what a reopen puts back.
  void KeepInEffect() { _inEffect = std::make_unique<CameraParameters>(_parameters); }

 private:
  // Declared first: the mode constraints of the parameter set consult them.
  CameraModes _modes;
  CameraParameters _parameters;
  std::unique_ptr<CameraParameters> _inEffect;
  std::mutex _lock;
};

}  // namespace vq
