#include "features/ConstraintFrameRate.h"

#include "features/CameraFeatures.h"
#include "features/FeatureTables.h"
#include "params/CameraParameters.h"
#include "params/DcamImageSizes.h"
#include "params/ParamEnum.h"

namespace vq {

ConstraintFrameRate::ConstraintFrameRate(const CameraModes& modes) : _modes(modes) {}

void ConstraintFrameRate::Apply(CameraParameters& params) {
  auto* videoMode = dynamic_cast<ParamEnum*>(&params.GetParam("DCAMVideoMode"));
  auto* frameRate = dynamic_cast<ParamEnum*>(&params.GetParam("DCAMFrameRate"));
  if (videoMode == nullptr || frameRate == nullptr) return;

  const int64_t mode = videoMode->GetValue();
  const int64_t previous = frameRate->GetValue();
  frameRate->ClearOptions();
  if (mode == Format7VideoMode) {
    frameRate->AddOption("FORMAT7", FlyCapture2::FRAMERATE_FORMAT7);
  } else if (mode >= 0 && mode < FlyCapture2::NUM_VIDEOMODES) {
    // A rate without a label (only Format7's has none) adds no option.
    for (FlyCapture2::FrameRate rate : _modes.videoModes[mode]) frameRate->AddOption(FrameRateName(rate), rate);
  }
  frameRate->SelectByValue(previous);
}

ConstraintFrameRate* ConstraintFrameRate::Clone() const { return new ConstraintFrameRate(*this); }

}  // namespace vq
