#include "sdk/aravis/AravisDevice.h"

#include <arv.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstring>

#include "log/DriverContext.h"
#include "sdk/aravis/GenicamMapping.h"
#include "sdk/sim/FeatureConfig.h"
#include "sdk/sim/VideoModeTable.h"

namespace vq::aravis {

using namespace FlyCapture2;

namespace {

void CopyText(char (&target)[sk_maxStringLength], const std::string& text) {
  std::snprintf(target, sizeof target, "%s", text.c_str());
}

void OnControlLost(ArvDevice*, gpointer data) {
  auto& link = *static_cast<std::shared_ptr<DeviceLink>*>(data);
  if (!link->lost.exchange(true) && link->onControlLost) link->onControlLost();
}

void ForgetLink(gpointer data, GClosure*) { delete static_cast<std::shared_ptr<DeviceLink>*>(data); }

}  // namespace

AravisDevice::AravisDevice(ArvCamera* camera, DeviceIdentity identity, std::shared_ptr<DeviceLink> link,
                           Release releaseElsewhere)
    : _camera(camera),
      _nodes(camera),
      _identity(std::move(identity)),
      _link(std::move(link)),
      _releaseElsewhere(std::move(releaseElsewhere)),
      _stream(camera, _nodes, _identity, _link, _releaseElsewhere) {
  _lostHandler = g_signal_connect_data(arv_camera_get_device(_camera), "control-lost", G_CALLBACK(OnControlLost),
                                       new std::shared_ptr<DeviceLink>(_link), ForgetLink, GConnectFlags(0));
  if (_nodes.Has("GevSCPSPacketSize")) {
    int64_t packet = 0;
    if (_nodes.GetInteger("GevSCPSPacketSize", &packet) == PGRERROR_OK) _packetSize = static_cast<unsigned>(packet);
  }
  ReportUnconvertibleFormats();
}

// A camera whose every pixel format is one the SDK cannot convert opens, but
// each of its frames would fail: say so once, at the open, naming them.
void AravisDevice::ReportUnconvertibleFormats() {
  const std::vector<std::string> formats = UnconvertibleOnly(PixelFormats());
  if (formats.empty()) return;
  std::string names;
  for (const std::string& name : formats) names += (names.empty() ? "" : ", ") + name;
  vq::WriteLog(vq::GetDriverContext(), vq::kLogError,
               "AravisDevice: ERROR: camera %s offers only pixel formats the SDK cannot convert: %s\n",
               _identity.serial.c_str(), names.c_str());
}

AravisDevice::~AravisDevice() {
  StopCapture();
  g_signal_handler_disconnect(arv_camera_get_device(_camera), _lostHandler);
  if (_link->lost)
    _releaseElsewhere(_camera);
  else
    g_object_unref(_camera);
}

Error AravisDevice::Gone() const { return aravis::Gone(*_link, _identity); }

#define ARV_REQUIRE_PRESENT()             \
  do {                                    \
    Error gone = Gone();                  \
    if (gone != PGRERROR_OK) return gone; \
  } while (0)

#define ARV_TRY(call)                         \
  do {                                        \
    Error failed = (call);                    \
    if (failed != PGRERROR_OK) return failed; \
  } while (0)

// ---- identity ------------------------------------------------------------------

Error AravisDevice::GetCameraInfo(CameraInfo* info) {
  ARV_REQUIRE_PRESENT();
  auto lock = _nodes.Lock();
  *info = CameraInfo();
  info->serialNumber = _identity.serialNumber;
  std::string text;
  ARV_TRY(_nodes.GetString("DeviceModelName", &text));
  CopyText(info->modelName, text);
  if (_nodes.Has("DeviceVendorName") && _nodes.GetString("DeviceVendorName", &text) == PGRERROR_OK)
    CopyText(info->vendorName, text);
  const char* version = _nodes.FirstOf({"DeviceVersion", "DeviceFirmwareVersion"});
  if (version && _nodes.GetString(version, &text) == PGRERROR_OK) CopyText(info->firmwareVersion, text);
  std::vector<std::string> formats = PixelFormats();
  info->isColorCamera = OffersColour(formats);
  CopyText(info->sensorInfo, std::string(info->isColorCamera ? "Colour" : "Monochrome") + " GenICam camera, serial " +
                                 _identity.serial + " (" + _identity.transport + ")");
  SensorSize sensor = Sensor();
  CopyText(info->sensorResolution, std::to_string(sensor.width) + "x" + std::to_string(sensor.height));
  return Error();
}

std::vector<std::string> AravisDevice::PixelFormats() { return _nodes.Options("PixelFormat"); }

AravisDevice::SensorSize AravisDevice::Sensor() {
  auto lock = _nodes.Lock();
  SensorSize size;
  int64_t value = 0, low = 0;
  if (_nodes.Has("SensorWidth") && _nodes.GetInteger("SensorWidth", &value) == PGRERROR_OK && value > 0)
    size.width = static_cast<unsigned>(value);
  else if (_nodes.Has("WidthMax") && _nodes.GetInteger("WidthMax", &value) == PGRERROR_OK)
    size.width = static_cast<unsigned>(value);
  else if (_nodes.IntegerBounds("Width", &low, &value) == PGRERROR_OK)
    size.width = static_cast<unsigned>(value);
  if (_nodes.Has("SensorHeight") && _nodes.GetInteger("SensorHeight", &value) == PGRERROR_OK && value > 0)
    size.height = static_cast<unsigned>(value);
  else if (_nodes.Has("HeightMax") && _nodes.GetInteger("HeightMax", &value) == PGRERROR_OK)
    size.height = static_cast<unsigned>(value);
  else if (_nodes.IntegerBounds("Height", &low, &value) == PGRERROR_OK)
    size.height = static_cast<unsigned>(value);
  return size;
}

// ---- capture ---------------------------------------------------------------------

Error AravisDevice::StartCapture() { return _stream.Start(); }

Error AravisDevice::StopCapture() { return _stream.Stop(); }

Error AravisDevice::RetrieveBuffer(Image* image) { return _stream.Retrieve(image); }

Error AravisDevice::CheckNotCapturing(const char* what) {
  if (!_stream.Running()) return Error();
  return FC2_ERROR(PGRERROR_ISOCH_ALREADY_STARTED, std::string("The ") + what + " cannot change while capturing.");
}

// ---- properties ---------------------------------------------------------------------

Error AravisDevice::GetPropertyInfo(PropertyInfo* info) {
  ARV_REQUIRE_PRESENT();
  PropertyType type = info->type;
  *info = PropertyInfo();
  info->type = type;
  const PropertyMapping* mapping = FindPropertyMapping(type);
  if (!mapping) return Error();
  auto lock = _nodes.Lock();
  const char* value = _nodes.FirstOf(mapping->valueFeatures);
  std::vector<std::string> autoModes =
      mapping->autoFeature ? _nodes.Options(mapping->autoFeature) : std::vector<std::string>();
  info->present = value || !autoModes.empty();
  if (!info->present) return Error();
  auto offers = [&](const char* mode) {
    return std::find(autoModes.begin(), autoModes.end(), mode) != autoModes.end();
  };
  info->autoSupported = offers("Continuous");
  info->onePushSupported = offers("Once");
  info->manualSupported = value && !mapping->readOnly;
  info->onOffSupported = mapping->enableFeature && _nodes.Has(mapping->enableFeature);
  info->readOutSupported = value != nullptr;
  CopyText(info->pUnits, mapping->units);
  CopyText(info->pUnitAbbr, mapping->unitAbbreviation);
  if (!value) return Error();
  if (type == WHITE_BALANCE && _nodes.Offers("BalanceRatioSelector", "Red"))
    _nodes.SetString("BalanceRatioSelector", "Red");
  double min = 0, max = 0;
  ARV_TRY(_nodes.NumberBounds(value, &min, &max));
  bool isFloat = _nodes.IsFloat(value);
  info->absValSupported = isFloat;
  info->absMin = static_cast<float>(min);
  info->absMax = static_cast<float>(max);
  double scale = isFloat ? mapping->scale : 1.0;
  info->min = ScaledValue(min, min, scale);
  info->max = ScaledValue(max, min, scale);
  return Error();
}

Error AravisDevice::GetProperty(Property* property) {
  ARV_REQUIRE_PRESENT();
  PropertyType type = property->type;
  *property = Property();
  property->type = type;
  const PropertyMapping* mapping = FindPropertyMapping(type);
  if (!mapping) return FC2_ERROR(PGRERROR_NOT_IMPLEMENTED, "The camera has no such property.");
  auto lock = _nodes.Lock();
  const char* value = _nodes.FirstOf(mapping->valueFeatures);
  bool hasAuto = mapping->autoFeature && _nodes.Has(mapping->autoFeature);
  if (!value && !hasAuto) return FC2_ERROR(PGRERROR_NOT_IMPLEMENTED, "The camera has no such property.");
  property->present = true;
  property->onOff = true;
  if (mapping->enableFeature && _nodes.Has(mapping->enableFeature)) {
    std::string enabled;
    double number = 0;
    if (_nodes.GetNumber(mapping->enableFeature, &number) == PGRERROR_OK)
      property->onOff = number != 0;
    else if (_nodes.GetString(mapping->enableFeature, &enabled) == PGRERROR_OK)
      property->onOff = enabled == "true";
  }
  if (hasAuto) {
    std::string mode;
    ARV_TRY(_nodes.GetString(mapping->autoFeature, &mode));
    AutoFlags flags = AutoFlagsOf(mode);
    property->autoManualMode = flags.autoManualMode;
    property->onePush = flags.onePush;
  }
  if (!value) return Error();
  bool isFloat = _nodes.IsFloat(value);
  double scale = isFloat ? mapping->scale : 1.0;
  auto read = [&](unsigned int* target) -> Error {
    double number = 0, min = 0, max = 0;
    ARV_TRY(_nodes.NumberBounds(value, &min, &max));
    ARV_TRY(_nodes.GetNumber(value, &number));
    *target = ScaledValue(number, min, scale);
    property->absValue = static_cast<float>(number);
    return Error();
  };
  if (type == WHITE_BALANCE && _nodes.Has("BalanceRatioSelector")) {
    ARV_TRY(_nodes.SetString("BalanceRatioSelector", "Blue"));
    ARV_TRY(read(&property->valueB));
    ARV_TRY(_nodes.SetString("BalanceRatioSelector", "Red"));
  }
  ARV_TRY(read(&property->valueA));
  return Error();
}

// The range is that of GetPropertyInfo: the feature's bounds in property
// units. Called with the node lock held.
Error AravisDevice::CheckPropertyRange(const Property& property, const PropertyMapping& mapping, const char* value) {
  if (property.type == WHITE_BALANCE && _nodes.Offers("BalanceRatioSelector", "Red"))
    ARV_TRY(_nodes.SetString("BalanceRatioSelector", "Red"));
  double min = 0, max = 0;
  ARV_TRY(_nodes.NumberBounds(value, &min, &max));
  const double scale = _nodes.IsFloat(value) ? mapping.scale : 1.0;
  const unsigned int low = ScaledValue(min, min, scale), high = ScaledValue(max, min, scale);
  const std::string name = vq::sim::PropertyLabel(property.type);
  auto outside = [&](const char* which, unsigned int number) {
    return FC2_ERROR(PGRERROR_INVALID_PARAMETER, name + ": " + which + std::to_string(number) + " is outside " +
                                                     std::to_string(low) + " to " + std::to_string(high) + ".");
  };
  if (property.valueA < low || property.valueA > high) return outside("value ", property.valueA);
  if (property.type == WHITE_BALANCE && _nodes.Has("BalanceRatioSelector") &&
      (property.valueB < low || property.valueB > high))
    return outside("value B ", property.valueB);
  return Error();
}

Error AravisDevice::SetProperty(const Property& property) {
  ARV_REQUIRE_PRESENT();
  const PropertyMapping* mapping = FindPropertyMapping(property.type);
  if (!mapping) return FC2_ERROR(PGRERROR_NOT_IMPLEMENTED, "The camera has no such property.");
  auto lock = _nodes.Lock();
  const char* value = _nodes.FirstOf(mapping->valueFeatures);
  bool hasAuto = mapping->autoFeature && _nodes.Has(mapping->autoFeature);
  if (!value && !hasAuto) return FC2_ERROR(PGRERROR_NOT_IMPLEMENTED, "The camera has no such property.");
  if (mapping->readOnly) return Error();  // a read-out: nothing to write
  // A value outside the camera's range is refused before anything is
  // written, as the simulated cameras refuse it; the camera would clamp it
  // and the host would never learn that its value did not take.
  if (value) ARV_TRY(CheckPropertyRange(property, *mapping, value));
  if (mapping->enableFeature && _nodes.Has(mapping->enableFeature))
    ARV_TRY(_nodes.SetString(mapping->enableFeature, property.onOff ? "true" : "false"));
  const char* autoMode = GenicamAutoOf(property.autoManualMode, property.onePush);
  if (hasAuto) {
    if (!_nodes.Offers(mapping->autoFeature, autoMode))
      return FC2_ERROR(PGRERROR_INVALID_PARAMETER,
                       std::string("The camera does not offer ") + mapping->autoFeature + " " + autoMode + ".");
    ARV_TRY(_nodes.SetString(mapping->autoFeature, autoMode));
  }
  // While the camera adjusts the value itself it takes no manual value.
  if (!value || std::strcmp(autoMode, "Off") != 0) return Error();
  bool isFloat = _nodes.IsFloat(value);
  double scale = isFloat ? mapping->scale : 1.0;
  auto write = [&](unsigned int number) -> Error {
    double min = 0, max = 0;
    ARV_TRY(_nodes.NumberBounds(value, &min, &max));
    // In range (checked above); the clamp only takes off what rounding to
    // property units added at the ends.
    double target = std::clamp(FeatureValue(number, min, scale), min, max);
    if (!isFloat) {
      int64_t increment = 1;
      _nodes.IntegerIncrement(value, &increment);
      target = min + std::floor((target - min) / static_cast<double>(increment)) * static_cast<double>(increment);
    }
    return _nodes.SetNumber(value, target);
  };
  if (property.type == WHITE_BALANCE && _nodes.Has("BalanceRatioSelector")) {
    ARV_TRY(_nodes.SetString("BalanceRatioSelector", "Blue"));
    ARV_TRY(write(property.valueB));
    ARV_TRY(_nodes.SetString("BalanceRatioSelector", "Red"));
  }
  return write(property.valueA);
}

// ---- video modes and Format7 -----------------------------------------------------

Error AravisDevice::GetVideoModeAndFrameRateInfo(VideoMode mode, FrameRate rate, bool* supported) {
  ARV_REQUIRE_PRESENT();
  if (!vq::sim::VideoModeName(mode) || !vq::sim::FrameRateName(rate))
    return FC2_ERROR(PGRERROR_INVALID_PARAMETER,
                     "Invalid video mode or frame rate (" + std::to_string(mode) + ", " + std::to_string(rate) + ").");
  *supported = false;
  if (mode == VIDEOMODE_FORMAT7 || rate == FRAMERATE_FORMAT7) return Error();
  auto lock = _nodes.Lock();
  vq::sim::ImageGeometry geometry = vq::sim::DcamGeometry(mode);
  if (!LayOutFixedMode(Geometry(), Binning(), geometry.width, geometry.height).supported) return Error();
  if (GenicamFormatFor(geometry.format, PixelFormats()).empty()) return Error();
  const char* rateFeature = _nodes.FirstOf({"AcquisitionFrameRate", "AcquisitionFrameRateAbs"});
  if (rateFeature) {
    double min = 0, max = 0;
    ARV_TRY(_nodes.NumberBounds(rateFeature, &min, &max));
    double fps = vq::sim::FramesPerSecond(rate);
    if (fps < min || fps > max) return Error();
  }
  *supported = true;
  return Error();
}

Error AravisDevice::GetVideoModeAndFrameRate(VideoMode* mode, FrameRate* rate) {
  ARV_REQUIRE_PRESENT();
  *mode = _mode;
  *rate = _rate;
  return Error();
}

BinningRange AravisDevice::Binning() {
  auto lock = _nodes.Lock();
  BinningRange range;
  if (!_nodes.Has("BinningHorizontal") || !_nodes.Has("BinningVertical")) return range;
  BinningRange offered;
  if (_nodes.IntegerBounds("BinningHorizontal", &offered.horizontalMin, &offered.horizontalMax) != PGRERROR_OK ||
      _nodes.IntegerBounds("BinningVertical", &offered.verticalMin, &offered.verticalMax) != PGRERROR_OK)
    return range;
  _nodes.IntegerIncrement("BinningHorizontal", &offered.horizontalStep);
  _nodes.IntegerIncrement("BinningVertical", &offered.verticalStep);
  return offered;
}

SensorGeometry AravisDevice::Geometry() {
  auto lock = _nodes.Lock();
  SensorSize size = Sensor();
  SensorGeometry sensor;
  sensor.width = size.width;
  sensor.height = size.height;
  int64_t step = 1;
  if (_nodes.IntegerIncrement("Width", &step) == PGRERROR_OK && step > 0)
    sensor.widthStep = static_cast<unsigned>(step);
  step = 1;
  if (_nodes.IntegerIncrement("Height", &step) == PGRERROR_OK && step > 0)
    sensor.heightStep = static_cast<unsigned>(step);
  step = 1;
  if (_nodes.Has("OffsetX") && _nodes.IntegerIncrement("OffsetX", &step) == PGRERROR_OK && step > 0)
    sensor.offsetXStep = static_cast<unsigned>(step);
  step = 1;
  if (_nodes.Has("OffsetY") && _nodes.IntegerIncrement("OffsetY", &step) == PGRERROR_OK && step > 0)
    sensor.offsetYStep = static_cast<unsigned>(step);
  return sensor;
}

Error AravisDevice::WriteRegion(unsigned int binning, unsigned int x, unsigned int y, unsigned int width,
                                unsigned int height, const std::string& pixelFormat) {
  auto lock = _nodes.Lock();
  // Offsets first to 0, so that any size up to the sensor's is accepted;
  // the binning before the size, whose maximum it sets.
  if (_nodes.Has("OffsetX")) ARV_TRY(_nodes.SetInteger("OffsetX", 0));
  if (_nodes.Has("OffsetY")) ARV_TRY(_nodes.SetInteger("OffsetY", 0));
  if (binning != 1) {
    ARV_TRY(_nodes.SetInteger("BinningHorizontal", binning));
    ARV_TRY(_nodes.SetInteger("BinningVertical", binning));
  } else {
    // No binning: reset where the camera lets us (it may keep it fixed at 1).
    if (_nodes.Has("BinningHorizontal")) _nodes.SetInteger("BinningHorizontal", 1);
    if (_nodes.Has("BinningVertical")) _nodes.SetInteger("BinningVertical", 1);
  }
  ARV_TRY(_nodes.SetString("PixelFormat", pixelFormat));
  ARV_TRY(_nodes.SetInteger("Width", width));
  ARV_TRY(_nodes.SetInteger("Height", height));
  if (x && _nodes.Has("OffsetX")) ARV_TRY(_nodes.SetInteger("OffsetX", x));
  if (y && _nodes.Has("OffsetY")) ARV_TRY(_nodes.SetInteger("OffsetY", y));
  return Error();
}

Error AravisDevice::SetVideoModeAndFrameRate(VideoMode mode, FrameRate rate) {
  ARV_REQUIRE_PRESENT();
  ARV_TRY(CheckNotCapturing("video mode"));
  if (mode == VIDEOMODE_FORMAT7)
    return FC2_ERROR(PGRERROR_INVALID_PARAMETER, "Format7 is entered with SetFormat7Configuration.");
  auto lock = _nodes.Lock();
  bool supported = false;
  ARV_TRY(GetVideoModeAndFrameRateInfo(mode, rate, &supported));
  if (!supported)
    return FC2_ERROR(PGRERROR_INVALID_PARAMETER, std::string("Video mode ") + vq::sim::VideoModeName(mode) + " at " +
                                                     vq::sim::FrameRateName(rate) +
                                                     " is not supported by this camera.");
  vq::sim::ImageGeometry geometry = vq::sim::DcamGeometry(mode);
  FixedModeLayout layout = LayOutFixedMode(Geometry(), Binning(), geometry.width, geometry.height);
  ARV_TRY(WriteRegion(layout.binning, layout.offsetX, layout.offsetY, geometry.width, geometry.height,
                      GenicamFormatFor(geometry.format, PixelFormats())));
  if (_nodes.Has("AcquisitionFrameRateEnable")) ARV_TRY(_nodes.SetString("AcquisitionFrameRateEnable", "true"));
  if (const char* rateFeature = _nodes.FirstOf({"AcquisitionFrameRate", "AcquisitionFrameRateAbs"}))
    ARV_TRY(_nodes.SetNumber(rateFeature, vq::sim::FramesPerSecond(rate)));
  _mode = mode;
  _rate = rate;
  return Error();
}

Error AravisDevice::GetFormat7Info(Format7Info* info, bool* supported) {
  ARV_REQUIRE_PRESENT();
  if (info->mode < 0 || info->mode >= NUM_MODES)
    return FC2_ERROR(PGRERROR_INVALID_PARAMETER, "Invalid Format7 mode " + std::to_string(info->mode) + ".");
  Mode requested = info->mode;
  *info = Format7Info();
  info->mode = requested;
  // Mode 0: a region of the sensor; mode n: a region of the sensor binned
  // by 2^n, where the camera bins so.
  auto lock = _nodes.Lock();
  const unsigned int factor = BinningOfFormat7Mode(requested);
  *supported = factor == 1 || (factor > 1 && Binning().Offers(factor));
  if (!*supported) return Error();
  const SensorGeometry sensor = Geometry();
  info->maxWidth = sensor.width / factor;
  info->maxHeight = sensor.height / factor;
  if (info->maxWidth < sensor.widthStep || info->maxHeight < sensor.heightStep) {
    *info = Format7Info();
    info->mode = requested;
    *supported = false;
    return Error();
  }
  info->offsetHStepSize = _nodes.Has("OffsetX") ? sensor.offsetXStep : info->maxWidth;
  info->offsetVStepSize = _nodes.Has("OffsetY") ? sensor.offsetYStep : info->maxHeight;
  info->imageHStepSize = sensor.widthStep;
  info->imageVStepSize = sensor.heightStep;
  info->pixelFormatBitField = PixelFormatBits(PixelFormats());
  if (_nodes.Has("GevSCPSPacketSize")) {
    int64_t min = 0, max = 0;
    ARV_TRY(_nodes.IntegerBounds("GevSCPSPacketSize", &min, &max));
    info->minPacketSize = static_cast<unsigned>(min);
    info->maxPacketSize = static_cast<unsigned>(max);
  } else {
    // USB3 Vision has no packets; the value is kept and has no effect.
    info->minPacketSize = 1;
    info->maxPacketSize = 65535;
  }
  info->packetSize = _packetSize ? _packetSize.load() : info->maxPacketSize;
  info->percentage = info->maxPacketSize
                         ? 100.0f * static_cast<float>(info->packetSize) / static_cast<float>(info->maxPacketSize)
                         : 0.0f;
  return Error();
}

Error AravisDevice::GetFormat7Configuration(Format7ImageSettings* settings, unsigned int* packetSize,
                                            float* percentage) {
  ARV_REQUIRE_PRESENT();
  auto lock = _nodes.Lock();
  *settings = Format7ImageSettings();
  int64_t value = 0;
  // The mode of the camera's binning; a binning no mode stands for reads as mode 0.
  int64_t horizontal = 1, vertical = 1;
  if (_nodes.Has("BinningHorizontal") && _nodes.Has("BinningVertical") &&
      _nodes.GetInteger("BinningHorizontal", &horizontal) == PGRERROR_OK &&
      _nodes.GetInteger("BinningVertical", &vertical) == PGRERROR_OK) {
    const int mode = Format7ModeOfBinning(horizontal, vertical);
    if (mode > 0 && mode < NUM_MODES) settings->mode = static_cast<Mode>(mode);
  }
  ARV_TRY(_nodes.GetInteger("Width", &value));
  settings->width = static_cast<unsigned>(value);
  ARV_TRY(_nodes.GetInteger("Height", &value));
  settings->height = static_cast<unsigned>(value);
  if (_nodes.Has("OffsetX") && _nodes.GetInteger("OffsetX", &value) == PGRERROR_OK)
    settings->offsetX = static_cast<unsigned>(value);
  if (_nodes.Has("OffsetY") && _nodes.GetInteger("OffsetY", &value) == PGRERROR_OK)
    settings->offsetY = static_cast<unsigned>(value);
  std::string format;
  ARV_TRY(_nodes.GetString("PixelFormat", &format));
  FrameFormat frame;
  settings->pixelFormat = FrameFormatOf(format, &frame) ? frame.format : UNSPECIFIED_PIXEL_FORMAT;
  Format7Info info;
  bool supported = false;
  ARV_TRY(GetFormat7Info(&info, &supported));
  *packetSize = info.packetSize;
  *percentage = info.percentage;
  return Error();
}

Error AravisDevice::SetFormat7Configuration(const Format7ImageSettings& settings, unsigned int packetSize) {
  ARV_REQUIRE_PRESENT();
  ARV_TRY(CheckNotCapturing("Format7 configuration"));
  auto lock = _nodes.Lock();
  Format7Info info;
  info.mode = settings.mode;
  bool supported = false;
  ARV_TRY(GetFormat7Info(&info, &supported));
  if (!supported)
    return FC2_ERROR(PGRERROR_INVALID_PARAMETER,
                     "Format7 mode " + std::to_string(settings.mode) + " is not supported by this camera.");
  auto invalid = [](const std::string& problem) {
    return FC2_ERROR(PGRERROR_INVALID_PARAMETER, "Invalid Format7 configuration: " + problem + ".");
  };
  if (settings.width == 0 || settings.height == 0) return invalid("the image is empty");
  if (settings.offsetX + settings.width > info.maxWidth || settings.offsetY + settings.height > info.maxHeight)
    return invalid("the region leaves the sensor");
  if (settings.width % info.imageHStepSize || settings.height % info.imageVStepSize ||
      settings.offsetX % info.offsetHStepSize || settings.offsetY % info.offsetVStepSize)
    return invalid("the region is not a multiple of the camera's increments");
  std::string format = GenicamFormatFor(settings.pixelFormat, PixelFormats());
  if (format.empty()) return invalid("the camera does not offer this pixel format");
  if (packetSize < info.minPacketSize || packetSize > info.maxPacketSize)
    return invalid("the packet size is out of range");
  ARV_TRY(WriteRegion(BinningOfFormat7Mode(settings.mode), settings.offsetX, settings.offsetY, settings.width,
                      settings.height, format));
  if (_nodes.Has("GevSCPSPacketSize")) ARV_TRY(_nodes.SetInteger("GevSCPSPacketSize", packetSize));
  _packetSize = packetSize;
  _mode = VIDEOMODE_FORMAT7;
  _rate = FRAMERATE_FORMAT7;
  return Error();
}

// ---- trigger, strobe, GPIO ---------------------------------------------------------

Error AravisDevice::SelectFrameStart() {
  if (_nodes.Offers("TriggerSelector", "FrameStart")) return _nodes.SetString("TriggerSelector", "FrameStart");
  return Error();
}

Error AravisDevice::GetTriggerModeInfo(TriggerModeInfo* info) {
  ARV_REQUIRE_PRESENT();
  *info = TriggerModeInfo();
  auto lock = _nodes.Lock();
  ARV_TRY(SelectFrameStart());
  if (!_nodes.Offers("TriggerMode", "On")) return Error();
  info->present = true;
  info->readOutSupported = true;
  info->onOffSupported = true;
  info->valueReadable = true;
  info->polaritySupported =
      _nodes.Offers("TriggerActivation", "RisingEdge") && _nodes.Offers("TriggerActivation", "FallingEdge");
  for (const std::string& source : _nodes.Options("TriggerSource")) {
    int number = TriggerSourceNumber(source);
    if (number >= 0) info->sourceMask |= 1u << number;
  }
  info->softwareTriggerSupported = _nodes.Offers("TriggerSource", "Software");
  info->modeMask = 1u << 15;  // mode 0: one frame per trigger
  return Error();
}

Error AravisDevice::GetTriggerMode(TriggerMode* mode) {
  ARV_REQUIRE_PRESENT();
  *mode = TriggerMode();
  auto lock = _nodes.Lock();
  ARV_TRY(SelectFrameStart());
  std::string text;
  ARV_TRY(_nodes.GetString("TriggerMode", &text));
  mode->onOff = text == "On";
  if (_nodes.Has("TriggerSource") && _nodes.GetString("TriggerSource", &text) == PGRERROR_OK) {
    int number = TriggerSourceNumber(text);
    mode->source = number >= 0 ? static_cast<unsigned>(number) : kSoftwareTriggerSource;
  }
  if (_nodes.Has("TriggerActivation") && _nodes.GetString("TriggerActivation", &text) == PGRERROR_OK)
    mode->polarity = text == "FallingEdge" ? 0 : 1;
  return Error();
}

Error AravisDevice::SetTriggerMode(const TriggerMode& mode) {
  ARV_REQUIRE_PRESENT();
  auto lock = _nodes.Lock();
  ARV_TRY(SelectFrameStart());
  if (!_nodes.Offers("TriggerMode", "On")) return FC2_ERROR(PGRERROR_NOT_IMPLEMENTED, "The camera has no trigger.");
  if (mode.mode != 0)
    return FC2_ERROR(PGRERROR_INVALID_PARAMETER, "Trigger mode " + std::to_string(mode.mode) + " is not supported.");
  if (mode.onOff) {
    std::string source = TriggerSourceName(mode.source);
    if (source.empty() || !_nodes.Offers("TriggerSource", source))
      return FC2_ERROR(PGRERROR_INVALID_PARAMETER,
                       "Trigger source " + std::to_string(mode.source) + " is not offered by this camera.");
    ARV_TRY(_nodes.SetString("TriggerSource", source));
    if (_nodes.Has("TriggerActivation")) {
      const char* edge = mode.polarity ? "RisingEdge" : "FallingEdge";
      if (_nodes.Offers("TriggerActivation", edge)) ARV_TRY(_nodes.SetString("TriggerActivation", edge));
    }
  }
  return _nodes.SetString("TriggerMode", mode.onOff ? "On" : "Off");
}

Error AravisDevice::FireSoftwareTrigger() {
  ARV_REQUIRE_PRESENT();
  auto lock = _nodes.Lock();
  ARV_TRY(SelectFrameStart());
  if (!_nodes.Has("TriggerSoftware")) return FC2_ERROR(PGRERROR_NOT_IMPLEMENTED, "The camera has no software trigger.");
  return _nodes.Execute("TriggerSoftware");
}

Error AravisDevice::SelectLine(unsigned int pin, bool* present) {
  *present = pin < 32 && _nodes.Offers("LineSelector", "Line" + std::to_string(pin));
  if (!*present) return Error();
  return _nodes.SetString("LineSelector", "Line" + std::to_string(pin));
}

int AravisDevice::StrobeTimer(unsigned int pin) {
  if (!_nodes.Has("TimerSelector") || !_nodes.Has("TimerDelay") || !_nodes.Has("TimerDuration")) return -1;
  return StrobeTimerFor(pin, _nodes.Options("LineSource"), _nodes.Options("TimerSelector"));
}

Error AravisDevice::GetStrobeInfo(StrobeInfo* info) {
  ARV_REQUIRE_PRESENT();
  unsigned int pin = info->source;
  *info = StrobeInfo();
  info->source = pin;
  auto lock = _nodes.Lock();
  bool line = false;
  ARV_TRY(SelectLine(pin, &line));
  // A strobe is a line that can be an output driven by a signal.
  if (!line || !_nodes.Has("LineSource") || !_nodes.Offers("LineMode", "Output")) return Error();
  info->present = true;
  info->readOutSupported = true;
  info->onOffSupported = true;
  info->polaritySupported = _nodes.Has("LineInverter");
  // Delay and duration: a timer's, where one can drive the line.
  const int timer = StrobeTimer(pin);
  if (timer < 0) return Error();
  ARV_TRY(_nodes.SetString("TimerSelector", "Timer" + std::to_string(timer)));
  double min = 0, delayMax = 0, durationMax = 0;
  ARV_TRY(_nodes.NumberBounds("TimerDelay", &min, &delayMax));
  ARV_TRY(_nodes.NumberBounds("TimerDuration", &min, &durationMax));
  StrobeRange range = StrobeRangeOf(delayMax, durationMax);
  info->minValue = range.min;
  info->maxValue = range.max;
  return Error();
}

Error AravisDevice::GetStrobe(StrobeControl* control) {
  ARV_REQUIRE_PRESENT();
  unsigned int pin = control->source;
  *control = StrobeControl();
  control->source = pin;
  auto lock = _nodes.Lock();
  bool line = false;
  ARV_TRY(SelectLine(pin, &line));
  if (!line || !_nodes.Has("LineSource")) return FC2_ERROR(PGRERROR_NOT_IMPLEMENTED, "The camera has no such strobe.");
  std::string text;
  ARV_TRY(_nodes.GetString("LineSource", &text));
  control->onOff = text != "Off";
  if (_nodes.Has("LineInverter")) {
    double inverted = 0;
    ARV_TRY(_nodes.GetNumber("LineInverter", &inverted));
    control->polarity = inverted != 0 ? 0 : 1;
  }
  // A line driven by a timer has its delay and duration.
  const int timer = TimerOfLineSource(text);
  if (timer >= 0 && _nodes.Offers("TimerSelector", "Timer" + std::to_string(timer)) && _nodes.Has("TimerDelay") &&
      _nodes.Has("TimerDuration")) {
    ARV_TRY(_nodes.SetString("TimerSelector", "Timer" + std::to_string(timer)));
    double delay = 0, duration = 0;
    ARV_TRY(_nodes.GetNumber("TimerDelay", &delay));
    ARV_TRY(_nodes.GetNumber("TimerDuration", &duration));
    control->delay = StrobeMilliseconds(delay);
    control->duration = StrobeMilliseconds(duration);
  }
  return Error();
}

Error AravisDevice::SetStrobe(const StrobeControl& control) {
  ARV_REQUIRE_PRESENT();
  auto lock = _nodes.Lock();
  bool line = false;
  ARV_TRY(SelectLine(control.source, &line));
  if (!line || !_nodes.Has("LineSource")) return FC2_ERROR(PGRERROR_NOT_IMPLEMENTED, "The camera has no such strobe.");
  if (control.onOff) {
    ARV_TRY(_nodes.SetString("LineMode", "Output"));
    std::vector<std::string> sources = _nodes.Options("LineSource");
    std::string source = "ExposureActive";
    const bool exposureActive = std::find(sources.begin(), sources.end(), source) != sources.end();
    // A duration of 0 is a strobe as long as the exposure, which needs no timer.
    const int timer = control.duration > 0.0f || !exposureActive ? StrobeTimer(control.source) : -1;
    if (timer >= 0) {
      ARV_TRY(_nodes.SetString("TimerSelector", "Timer" + std::to_string(timer)));
      if (_nodes.Has("TimerTriggerSource")) {
        std::string start = TimerTriggerFor(_nodes.Options("TimerTriggerSource"));
        if (!start.empty()) ARV_TRY(_nodes.SetString("TimerTriggerSource", start));
      }
      auto write = [&](const char* feature, float milliseconds) {
        double min = 0, max = 0;
        ARV_TRY(_nodes.NumberBounds(feature, &min, &max));
        // Within the bounds the camera gives (std::clamp would not bear a reversed pair).
        return _nodes.SetNumber(feature, std::min(std::max(TimerMicroseconds(milliseconds), min), max));
      };
      ARV_TRY(write("TimerDelay", control.delay));
      ARV_TRY(write("TimerDuration", control.duration));
      source = TimerLineSource(timer);
    } else if (!exposureActive) {
      auto other = std::find_if(sources.begin(), sources.end(), [](const std::string& s) { return s != "Off"; });
      if (other == sources.end()) return FC2_ERROR(PGRERROR_NOT_IMPLEMENTED, "The line has no signal to output.");
      source = *other;
    }
    ARV_TRY(_nodes.SetString("LineSource", source));
  } else if (_nodes.Offers("LineSource", "Off")) {
    ARV_TRY(_nodes.SetString("LineSource", "Off"));
  }
  if (_nodes.Has("LineInverter")) ARV_TRY(_nodes.SetString("LineInverter", control.polarity ? "false" : "true"));
  return Error();
}

Error AravisDevice::GetGPIOPinDirection(unsigned int pin, unsigned int* direction) {
  ARV_REQUIRE_PRESENT();
  auto lock = _nodes.Lock();
  bool line = false;
  ARV_TRY(SelectLine(pin, &line));
  if (!line || !_nodes.Has("LineMode")) return FC2_ERROR(PGRERROR_NOT_IMPLEMENTED, "The camera has no such pin.");
  std::string mode;
  ARV_TRY(_nodes.GetString("LineMode", &mode));
  *direction = mode == "Output" ? 1 : 0;
  return Error();
}

Error AravisDevice::SetGPIOPinDirection(unsigned int pin, unsigned int direction) {
  ARV_REQUIRE_PRESENT();
  auto lock = _nodes.Lock();
  bool line = false;
  ARV_TRY(SelectLine(pin, &line));
  if (!line || !_nodes.Has("LineMode")) return FC2_ERROR(PGRERROR_NOT_IMPLEMENTED, "The camera has no such pin.");
  const char* mode = direction ? "Output" : "Input";
  if (!_nodes.Offers("LineMode", mode))
    return FC2_ERROR(PGRERROR_INVALID_PARAMETER,
                     std::string("The pin cannot be an ") + (direction ? "output." : "input."));
  return _nodes.SetString("LineMode", mode);
}

}  // namespace vq::aravis
