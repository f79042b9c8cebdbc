#include "sdk/aravis/GenicamMapping.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>

namespace vq::aravis {

using namespace FlyCapture2;

namespace {

std::vector<std::string> SplitList(const char* text) {
  std::vector<std::string> items;
  if (!text) return items;
  std::string item;
  for (const char* p = text;; ++p) {
    if (*p == ',' || *p == '\0') {
      auto first = item.find_first_not_of(" \t");
      auto last = item.find_last_not_of(" \t");
      if (first != std::string::npos) items.push_back(item.substr(first, last - first + 1));
      item.clear();
      if (*p == '\0') break;
    } else {
      item += *p;
    }
  }
  return items;
}

struct FormatRow {
  const char* name;
  uint32_t pfnc;
  FrameFormat format;
};

// In the order GenicamFormatFor prefers them for each SDK format.
const FormatRow kFormats[] = {
    {"Mono8", 0x01080001, {PIXEL_FORMAT_MONO8, NONE, 8, LAYOUT_DEFAULT, 8}},
    {"Mono16", 0x01100007, {PIXEL_FORMAT_MONO16, NONE, 16, LAYOUT_DEFAULT, 16}},
    {"Mono12", 0x01100005, {PIXEL_FORMAT_MONO16, NONE, 16, LAYOUT_DEFAULT, 12}},
    {"Mono10", 0x01100003, {PIXEL_FORMAT_MONO16, NONE, 16, LAYOUT_DEFAULT, 10}},
    {"Mono12Packed", 0x010C0006, {PIXEL_FORMAT_MONO12, NONE, 12, LAYOUT_DEFAULT, 12}},
    {"Mono12p", 0x010C0047, {PIXEL_FORMAT_MONO12, NONE, 12, LAYOUT_LSB_PACKED, 12}},
    {"Mono10Packed", 0x010C0004, {PIXEL_FORMAT_MONO12, NONE, 12, LAYOUT_DEFAULT, 10}},
    {"Mono10p", 0x010A0046, {PIXEL_FORMAT_MONO12, NONE, 10, LAYOUT_LSB_PACKED, 10}},
    {"BayerRG8", 0x01080009, {PIXEL_FORMAT_RAW8, RGGB, 8, LAYOUT_DEFAULT, 8}},
    {"BayerGR8", 0x01080008, {PIXEL_FORMAT_RAW8, GRBG, 8, LAYOUT_DEFAULT, 8}},
    {"BayerGB8", 0x0108000A, {PIXEL_FORMAT_RAW8, GBRG, 8, LAYOUT_DEFAULT, 8}},
    {"BayerBG8", 0x0108000B, {PIXEL_FORMAT_RAW8, BGGR, 8, LAYOUT_DEFAULT, 8}},
    {"BayerRG16", 0x0110002F, {PIXEL_FORMAT_RAW16, RGGB, 16, LAYOUT_DEFAULT, 16}},
    {"BayerGR16", 0x0110002E, {PIXEL_FORMAT_RAW16, GRBG, 16, LAYOUT_DEFAULT, 16}},
    {"BayerGB16", 0x01100030, {PIXEL_FORMAT_RAW16, GBRG, 16, LAYOUT_DEFAULT, 16}},
    {"BayerBG16", 0x01100031, {PIXEL_FORMAT_RAW16, BGGR, 16, LAYOUT_DEFAULT, 16}},
    {"BayerRG12", 0x01100011, {PIXEL_FORMAT_RAW16, RGGB, 16, LAYOUT_DEFAULT, 12}},
    {"BayerGR12", 0x01100010, {PIXEL_FORMAT_RAW16, GRBG, 16, LAYOUT_DEFAULT, 12}},
    {"BayerGB12", 0x01100012, {PIXEL_FORMAT_RAW16, GBRG, 16, LAYOUT_DEFAULT, 12}},
    {"BayerBG12", 0x01100013, {PIXEL_FORMAT_RAW16, BGGR, 16, LAYOUT_DEFAULT, 12}},
    {"BayerRG10", 0x0110000D, {PIXEL_FORMAT_RAW16, RGGB, 16, LAYOUT_DEFAULT, 10}},
    {"BayerGR10", 0x0110000C, {PIXEL_FORMAT_RAW16, GRBG, 16, LAYOUT_DEFAULT, 10}},
    {"BayerGB10", 0x0110000E, {PIXEL_FORMAT_RAW16, GBRG, 16, LAYOUT_DEFAULT, 10}},
    {"BayerBG10", 0x0110000F, {PIXEL_FORMAT_RAW16, BGGR, 16, LAYOUT_DEFAULT, 10}},
    {"BayerRG12Packed", 0x010C002B, {PIXEL_FORMAT_RAW12, RGGB, 12, LAYOUT_DEFAULT, 12}},
    {"BayerGR12Packed", 0x010C002A, {PIXEL_FORMAT_RAW12, GRBG, 12, LAYOUT_DEFAULT, 12}},
    {"BayerGB12Packed", 0x010C002C, {PIXEL_FORMAT_RAW12, GBRG, 12, LAYOUT_DEFAULT, 12}},
    {"BayerBG12Packed", 0x010C002D, {PIXEL_FORMAT_RAW12, BGGR, 12, LAYOUT_DEFAULT, 12}},
    {"BayerRG12p", 0x010C0059, {PIXEL_FORMAT_RAW12, RGGB, 12, LAYOUT_LSB_PACKED, 12}},
    {"BayerGR12p", 0x010C0057, {PIXEL_FORMAT_RAW12, GRBG, 12, LAYOUT_LSB_PACKED, 12}},
    {"BayerGB12p", 0x010C0055, {PIXEL_FORMAT_RAW12, GBRG, 12, LAYOUT_LSB_PACKED, 12}},
    {"BayerBG12p", 0x010C0053, {PIXEL_FORMAT_RAW12, BGGR, 12, LAYOUT_LSB_PACKED, 12}},
    {"BayerRG10Packed", 0x010C0027, {PIXEL_FORMAT_RAW12, RGGB, 12, LAYOUT_DEFAULT, 10}},
    {"BayerGR10Packed", 0x010C0026, {PIXEL_FORMAT_RAW12, GRBG, 12, LAYOUT_DEFAULT, 10}},
    {"BayerGB10Packed", 0x010C0028, {PIXEL_FORMAT_RAW12, GBRG, 12, LAYOUT_DEFAULT, 10}},
    {"BayerBG10Packed", 0x010C0029, {PIXEL_FORMAT_RAW12, BGGR, 12, LAYOUT_DEFAULT, 10}},
    {"BayerRG10p", 0x010A0058, {PIXEL_FORMAT_RAW12, RGGB, 10, LAYOUT_LSB_PACKED, 10}},
    {"BayerGR10p", 0x010A0056, {PIXEL_FORMAT_RAW12, GRBG, 10, LAYOUT_LSB_PACKED, 10}},
    {"BayerGB10p", 0x010A0054, {PIXEL_FORMAT_RAW12, GBRG, 10, LAYOUT_LSB_PACKED, 10}},
    {"BayerBG10p", 0x010A0052, {PIXEL_FORMAT_RAW12, BGGR, 10, LAYOUT_LSB_PACKED, 10}},
    {"RGB8", 0x02180014, {PIXEL_FORMAT_RGB8, NONE, 24, LAYOUT_DEFAULT, 8}},
    {"RGB8Packed", 0x02180014, {PIXEL_FORMAT_RGB8, NONE, 24, LAYOUT_DEFAULT, 8}},
    {"BGR8", 0x02180015, {PIXEL_FORMAT_BGR, NONE, 24, LAYOUT_DEFAULT, 8}},
    {"BGR8Packed", 0x02180015, {PIXEL_FORMAT_BGR, NONE, 24, LAYOUT_DEFAULT, 8}},
    // 4:2:2 as U Y0 V Y1 ...
    {"YUV422_8_UYVY", 0x0210001F, {PIXEL_FORMAT_422YUV8, NONE, 16, LAYOUT_DEFAULT, 8}},
    {"YUV422Packed", 0x0210001F, {PIXEL_FORMAT_422YUV8, NONE, 16, LAYOUT_DEFAULT, 8}},
    {"YCbCr422_8_CbYCrY", 0x02100043, {PIXEL_FORMAT_422YUV8, NONE, 16, LAYOUT_DEFAULT, 8}},
    // ... and as Y0 U Y1 V: PFNC's YUV422_8 is GigE Vision's YUV422_YUYV_Packed
    // (the same number).
    {"YUV422_8", 0x02100032, {PIXEL_FORMAT_422YUV8, NONE, 16, LAYOUT_YUYV, 8}},
    {"YUV422_YUYV_Packed", 0x02100032, {PIXEL_FORMAT_422YUV8, NONE, 16, LAYOUT_YUYV, 8}},
    {"YCbCr422_8", 0x0210003B, {PIXEL_FORMAT_422YUV8, NONE, 16, LAYOUT_YUYV, 8}},
};

bool IsMonochrome(PixelFormat format) {
  return format == PIXEL_FORMAT_MONO8 || format == PIXEL_FORMAT_MONO12 || format == PIXEL_FORMAT_MONO16;
}

const PropertyMapping kProperties[] = {
    {BRIGHTNESS, {"BlackLevel", "BlackLevelRaw"}, 100.0, "BlackLevelAuto", nullptr, "", "", false},
    {AUTO_EXPOSURE, {"AutoTargetValue", "TargetBrightness"}, 1.0, "ExposureAuto", nullptr, "", "", false},
    {SHARPNESS, {"Sharpness", "SharpnessRaw"}, 100.0, nullptr, nullptr, "", "", false},
    {WHITE_BALANCE,
     {"BalanceRatio", "BalanceRatioAbs", "BalanceRatioRaw"},
     100.0,
     "BalanceWhiteAuto",
     nullptr,
     "",
     "",
     false},
    {HUE, {"Hue", "HueAbs", "HueRaw"}, 10.0, nullptr, nullptr, "degrees", "deg", false},
    {SATURATION, {"Saturation", "SaturationAbs", "SaturationRaw"}, 100.0, nullptr, nullptr, "", "", false},
    {GAMMA, {"Gamma", "GammaAbs", "GammaRaw"}, 100.0, nullptr, nullptr, "", "", false},
    {SHUTTER,
     {"ExposureTime", "ExposureTimeAbs", "ExposureTimeRaw"},
     1.0,
     "ExposureAuto",
     nullptr,
     "microseconds",
     "us",
     false},
    {GAIN, {"Gain", "GainAbs", "GainRaw"}, 100.0, "GainAuto", nullptr, "decibels", "dB", false},
    {TRIGGER_DELAY, {"TriggerDelay", "TriggerDelayAbs"}, 1.0, nullptr, nullptr, "microseconds", "us", false},
    {FRAME_RATE,
     {"AcquisitionFrameRate", "AcquisitionFrameRateAbs"},
     100.0,
     nullptr,
     "AcquisitionFrameRateEnable",
     "frames per second",
     "fps",
     false},
    {TEMPERATURE, {"DeviceTemperature"}, 10.0, nullptr, nullptr, "degrees Celsius", "C", true},
};

}  // namespace

uint32_t SerialNumberOf(const std::string& serial) {
  bool digits = !serial.empty() && serial.size() <= 10 &&
                std::all_of(serial.begin(), serial.end(), [](char c) { return c >= '0' && c <= '9'; });
  if (digits) {
    uint64_t number = std::stoull(serial);
    if (number != 0 && number <= std::numeric_limits<uint32_t>::max()) return static_cast<uint32_t>(number);
  }
  uint32_t hash = 2166136261u;
  for (unsigned char c : serial) {
    hash ^= c;
    hash *= 16777619u;
  }
  return hash ? hash : 1u;
}

bool FrameFormatOf(const std::string& genicamName, FrameFormat* format) {
  for (const FormatRow& row : kFormats) {
    if (genicamName == row.name) {
      *format = row.format;
      return true;
    }
  }
  return false;
}

bool FrameFormatOfValue(uint32_t pfncValue, FrameFormat* format) {
  for (const FormatRow& row : kFormats) {
    if (row.pfnc == pfncValue) {
      *format = row.format;
      return true;
    }
  }
  return false;
}

bool OffersColour(const std::vector<std::string>& genicamNames) {
  for (const std::string& name : genicamNames) {
    FrameFormat format;
    if (FrameFormatOf(name, &format) && !IsMonochrome(format.format)) return true;
  }
  return false;
}

std::string GenicamFormatFor(PixelFormat format, const std::vector<std::string>& offered) {
  for (const FormatRow& row : kFormats) {
    if (row.format.format != format) continue;
    if (std::find(offered.begin(), offered.end(), row.name) != offered.end()) return row.name;
  }
  return std::string();
}

unsigned int PixelFormatBits(const std::vector<std::string>& offered) {
  unsigned int bits = 0;
  for (const std::string& name : offered) {
    FrameFormat format;
    if (FrameFormatOf(name, &format) && std::has_single_bit(static_cast<uint32_t>(format.format)))
      bits |= format.format;
  }
  return bits;
}

std::vector<std::string> UnconvertibleOnly(const std::vector<std::string>& offered) {
  FrameFormat format;
  for (const std::string& name : offered)
    if (FrameFormatOf(name, &format)) return {};
  return offered;
}

AutoFlags AutoFlagsOf(const std::string& genicamAuto) {
  AutoFlags flags;
  flags.autoManualMode = genicamAuto == "Continuous";
  flags.onePush = genicamAuto == "Once";
  return flags;
}

const char* GenicamAutoOf(bool autoManualMode, bool onePush) {
  if (autoManualMode) return "Continuous";
  return onePush ? "Once" : "Off";
}

const PropertyMapping* FindPropertyMapping(PropertyType type) {
  for (const PropertyMapping& mapping : kProperties)
    if (mapping.type == type) return &mapping;
  return nullptr;
}

unsigned int ScaledValue(double value, double featureMin, double scale) {
  double scaled = std::round((value - std::min(0.0, featureMin)) * scale);
  if (!(scaled > 0.0)) return 0;  // also NaN
  if (scaled >= static_cast<double>(std::numeric_limits<unsigned int>::max()))
    return std::numeric_limits<unsigned int>::max();
  return static_cast<unsigned int>(scaled);
}

double FeatureValue(unsigned int value, double featureMin, double scale) {
  return static_cast<double>(value) / scale + std::min(0.0, featureMin);
}

int TriggerSourceNumber(const std::string& genicamSource) {
  if (genicamSource == "Software") return static_cast<int>(kSoftwareTriggerSource);
  if (genicamSource.size() == 5 && genicamSource.compare(0, 4, "Line") == 0 && genicamSource[4] >= '0' &&
      genicamSource[4] <= '3')
    return genicamSource[4] - '0';
  return -1;
}

std::string TriggerSourceName(unsigned int source) {
  if (source == kSoftwareTriggerSource) return "Software";
  if (source < kSoftwareTriggerSource) return "Line" + std::to_string(source);
  return std::string();
}

bool BinningRange::Offers(int64_t factor) const {
  auto within = [factor](int64_t min, int64_t max, int64_t step) {
    return factor >= min && factor <= max && (step <= 1 || (factor - min) % step == 0);
  };
  return within(horizontalMin, horizontalMax, horizontalStep) && within(verticalMin, verticalMax, verticalStep);
}

unsigned int BinningOfFormat7Mode(int mode) { return mode >= 0 && mode < 31 ? 1u << mode : 0u; }

int Format7ModeOfBinning(int64_t horizontal, int64_t vertical) {
  if (horizontal != vertical || horizontal < 1 || (horizontal & (horizontal - 1)) != 0) return -1;
  int mode = 0;
  while ((int64_t{1} << mode) < horizontal) ++mode;
  return mode < 31 ? mode : -1;
}

FixedModeLayout LayOutFixedMode(const SensorGeometry& sensor, const BinningRange& binning, unsigned int width,
                                unsigned int height) {
  FixedModeLayout layout;
  if (width == 0 || height == 0) return layout;
  const bool sizeFits = width % std::max(1u, sensor.widthStep) == 0 && height % std::max(1u, sensor.heightStep) == 0;
  if (!sizeFits) return layout;
  // The whole sensor binned to the mode's size: its full field of view.
  if (sensor.width % width == 0 && sensor.height % height == 0) {
    const unsigned int factor = sensor.width / width;
    if (factor > 1 && sensor.height / height == factor && binning.Offers(factor)) {
      layout.supported = true;
      layout.binning = factor;
      return layout;
    }
  }
  if (width > sensor.width || height > sensor.height) return layout;
  auto roundDown = [](unsigned int value, unsigned int step) { return step > 1 ? value / step * step : value; };
  layout.supported = true;
  layout.offsetX = roundDown((sensor.width - width) / 2, sensor.offsetXStep);
  layout.offsetY = roundDown((sensor.height - height) / 2, sensor.offsetYStep);
  return layout;
}

int TimerOfLineSource(const std::string& lineSource) {
  const std::string prefix = "Timer", suffix = "Active";
  if (lineSource.size() <= prefix.size() + suffix.size() || lineSource.compare(0, prefix.size(), prefix) != 0 ||
      lineSource.compare(lineSource.size() - suffix.size(), suffix.size(), suffix) != 0)
    return -1;
  const std::string digits = lineSource.substr(prefix.size(), lineSource.size() - prefix.size() - suffix.size());
  if (digits.size() > 2 || !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return -1;
  return std::stoi(digits);
}

std::string TimerLineSource(int timer) { return "Timer" + std::to_string(timer) + "Active"; }

int StrobeTimerFor(unsigned int pin, const std::vector<std::string>& lineSources,
                   const std::vector<std::string>& timers) {
  auto usable = [&](int timer) {
    return std::find(timers.begin(), timers.end(), "Timer" + std::to_string(timer)) != timers.end();
  };
  const std::string own = TimerLineSource(static_cast<int>(pin));
  if (pin < 100 && usable(static_cast<int>(pin)) &&
      std::find(lineSources.begin(), lineSources.end(), own) != lineSources.end())
    return static_cast<int>(pin);
  for (const std::string& source : lineSources) {
    int timer = TimerOfLineSource(source);
    if (timer >= 0 && usable(timer)) return timer;
  }
  return -1;
}

std::string TimerTriggerFor(const std::vector<std::string>& offered) {
  for (const char* preferred : {"ExposureStart", "FrameStart", "FrameTriggerWait"})
    if (std::find(offered.begin(), offered.end(), preferred) != offered.end()) return preferred;
  return std::string();
}

StrobeRange StrobeRangeOf(double delayMaxUs, double durationMaxUs) {
  StrobeRange range;
  const double max = std::min(delayMaxUs, durationMaxUs);
  range.max = max > 0.0 ? StrobeMilliseconds(max) : 0.0f;
  return range;
}

double TimerMicroseconds(float strobeMs) { return static_cast<double>(strobeMs) * 1000.0; }

float StrobeMilliseconds(double timerUs) { return static_cast<float>(timerUs / 1000.0); }

DiscoverySettings ParseDiscoverySettings(const char* interfaces, const char* devices, std::string* problems) {
  DiscoverySettings settings;
  if (!interfaces) {
    settings.interfaces = {"USB3Vision", "GigEVision"};
  } else {
    for (const std::string& name : SplitList(interfaces)) {
      if (name == "USB3Vision" || name == "GigEVision" || name == "Fake") {
        if (std::find(settings.interfaces.begin(), settings.interfaces.end(), name) == settings.interfaces.end())
          settings.interfaces.push_back(name);
      } else if (problems) {
        if (!problems->empty()) *problems += "; ";
        *problems += "unknown Aravis interface '" + name + "' (known: USB3Vision, GigEVision, Fake)";
      }
    }
  }
  settings.addresses = SplitList(devices);
  return settings;
}

}  // namespace vq::aravis
