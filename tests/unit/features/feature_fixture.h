#pragma once
// A driver on the simulated bus with one camera opened, for exercising the
// feature mapping on a connected SDK camera. The test body holds the camera's
// parameter lock, as the open sequence and the host commands do.
#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "params/Param.h"
#include "params/ParamEnum.h"
#include "params/ParameterAccess.h"
#include "sdk/sim/SimControl.h"
#include "tests/support/DriverFixture.h"

namespace vqtest {

using namespace vq;

class FeatureFixture : public DriverFixture {
 protected:
  // Opens the camera with `serial`, takes its parameter lock and gives it a
  // fresh parameter set, so that whatever the open sequence read from the
  // camera, the test's reads are first reads. (A camera whose first read
  // fails opens on the bus thread's retry.)
  void OpenCamera(unsigned serial) {
    _camera = &List().GetBySerialNo(serial);
    Open(*_camera, 0);
    ASSERT_TRUE(WaitForState(*_camera, CamOpened));
    WaitForOpenToSettle();
    _lock = std::unique_lock<std::mutex>(_camera->Settings().Lock());
    ResetParameters();
  }
  void ResetParameters() {
    Params() = CameraParameters(Params().Identity());
    ParameterAccess::SetParameter<int>(Params(), "LogLevel", 3, 0, 4);
    vq::sim::ResetCallCounts(_camera->SerialNumber());
    Log().Clear();
  }
  // Closes the camera, replaces the fleet and opens the camera again, as a
  // camera that comes back changed would be.
  void ReopenWithFleet(const std::string& fleet) {
    _lock.unlock();
    _camera->Close();
    ASSERT_TRUE(WaitForState(*_camera, CamClosed));
    vq::sim::LoadFleetJson(fleet);
    Log().Clear();
    Open(*_camera, 0);
    ASSERT_TRUE(WaitForState(*_camera, CamOpened));
    WaitForOpenToSettle();
    _lock.lock();
    vq::sim::ResetCallCounts(_camera->SerialNumber());
    Log().Clear();
  }
  // The open's aftermath logs too, after the host's open has returned: the
  // bus thread takes note of the new state and the grab thread starts. Both
  // are awaited, so that their lines stay out of what a test reads.
  void WaitForOpenToSettle() {
    ASSERT_TRUE(WaitForLine("CameraList::HandleCameraStateChange, " + _camera->Tag() +
                            ", prevState='Closed ', nowstate='Opened '\n"));
    ASSERT_TRUE(vqtest::WaitFor([&] { return Log().ContainsPrefix("GrabThread::ThreadMain: entering, "); }));
  }
  void TearDown() override {
    if (_lock.owns_lock()) _lock.unlock();
    DriverFixture::TearDown();
  }

  Camera& Cam() { return *_camera; }
  CameraParameters& Params() { return _camera->Settings().Parameters(); }
  ParamEnum& Enum(const std::string& name) { return dynamic_cast<ParamEnum&>(Params().GetParam(name)); }
  template <class T>
  Param<T>& Typed(const std::string& name) {
    return dynamic_cast<Param<T>&>(Params().GetParam(name));
  }
  // Label and value of every option, in order.
  std::vector<std::pair<std::string, int64_t>> Options(const std::string& name) {
    std::vector<std::pair<std::string, int64_t>> options;
    ParamEnum& param = Enum(name);
    for (size_t i = 0; i < param.OptionCount(); ++i) options.push_back(param.GetOptionAt(i));
    return options;
  }
  // Names of all parameters, in creation order.
  std::vector<std::string> Names() {
    std::vector<std::string> names;
    for (const Param_& param : Params().Params()) names.push_back(param._name);
    return names;
  }

  Camera* _camera = nullptr;
  std::unique_lock<std::mutex> _lock;
};

}  // namespace vqtest
