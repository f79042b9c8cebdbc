#include "features/ConstraintFormat7.h"

#include "features/CameraFeatures.h"
#include "features/FeatureTables.h"
#include "params/CameraParameters.h"
#include "params/Param.h"
#include "params/ParamEnum.h"
#include "sdk/PixelFormatNames.h"

namespace vq {

namespace {

Param<unsigned>* AsUnsigned(CameraParameters& params, const char* name) {
  return dynamic_cast<Param<unsigned>*>(&params.GetParam(name));
}

// The offset may run from 0 to what the extent leaves of the sensor. An
// extent outside its range, or beyond the sensor, leaves the offset's range alone.
void LimitOffset(Param<unsigned>& offset, const Param<unsigned>& extent, unsigned sensorSize) {
  if (extent.IsValid() && extent._value <= sensorSize) offset._max = sensorSize - extent._value;
}

void LimitRegion(CameraParameters& params, const FlyCapture2::Format7Info& info) {
  Param<unsigned>* offsetX = AsUnsigned(params, "offsetX");
  Param<unsigned>* offsetY = AsUnsigned(params, "offsetY");
  Param<unsigned>* height = AsUnsigned(params, "height");
  Param<unsigned>* width = AsUnsigned(params, "width");
  if (!offsetX || !offsetY || !height || !width) return;
  width->_max = info.maxWidth;
  height->_max = info.maxHeight;
  LimitOffset(*offsetX, *width, info.maxWidth);
  LimitOffset(*offsetY, *height, info.maxHeight);
}

void LimitPacketSize(CameraParameters& params, const FlyCapture2::Format7Info& info) {
  if (Param<unsigned>* packetSize = AsUnsigned(params, "Fmt7PacketSize")) {
    packetSize->_min = info.minPacketSize;
    packetSize->_max = info.maxPacketSize;
  }
}

void OfferPixelFormats(CameraParameters& params, const FlyCapture2::Format7Info& info) {
  auto* pixelFormat = dynamic_cast<ParamEnum*>(&params.GetParam("Fmt7PixelFormat"));
  if (pixelFormat == nullptr) return;
  const int64_t previous = pixelFormat->GetValue();
  pixelFormat->ClearOptions();
  // Candidate options in the order they are offered.
  for (const FlyCapture2::PixelFormatName& row : FlyCapture2::kPixelFormatNames) {
    if ((info.pixelFormatBitField & row.format) == row.format)
      pixelFormat->AddOption(row.name, PixelFormatOptionValue(row.format));
  }
  pixelFormat->SelectByValue(previous);
}

}  // namespace

ConstraintFormat7::ConstraintFormat7(const CameraModes& modes) : _modes(modes) {}

void ConstraintFormat7::Apply(CameraParameters& params) {
  const auto* mode = dynamic_cast<const ParamEnum*>(&params.GetParam("Fmt7Mode"));
  if (mode == nullptr) return;
  const FlyCapture2::Format7Info& info = _modes.Format7Info(static_cast<int>(mode->GetValue()));
  LimitRegion(params, info);
  LimitPacketSize(params, info);
  OfferPixelFormats(params, info);
}

ConstraintFormat7* ConstraintFormat7::Clone() const { return new ConstraintFormat7(*this); }

}  // namespace vq
