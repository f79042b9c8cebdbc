#pragma once
// The decisions that map the SDK's model onto GenICam standard feature names
// (SFNC), kept free of Aravis so that they can be checked on their own:
// serial numbers, pixel formats, automatic modes, the property table, the
// trigger sources and the discovery settings. sdk/aravis/MAPPING.md has the
// table for users.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sdk/FlyCapture2.h"

namespace vq::aravis {

// ---- serial numbers ---------------------------------------------------------
// GenICam serial numbers are strings. A decimal number that fits 32 bits (and
// is not 0) is used as is; anything else gets a stable 32-bit number (FNV-1a),
// never 0, so that the camera's name "Model (serial)" stays the same from one
// run to the next.
uint32_t SerialNumberOf(const std::string& serial);

// ---- pixel formats ----------------------------------------------------------
// A GenICam pixel format (PFNC name and number) as the SDK holds it: the
// pixel format and Bayer tile of the image, the bits a pixel takes in the
// camera's buffer, and how the samples lie in it (Image::SetSampleLayout).
// Mono10, Mono12 and Mono16 are MONO16 with 10, 12 and 16 bits per sample;
// the packings of 10 and 12 bits are MONO12 (GigE Vision's "Packed", two
// samples in three bytes, LAYOUT_DEFAULT; PFNC's "p", LAYOUT_LSB_PACKED);
// Bayer formats likewise RAW8, RAW16 and RAW12 with their tile.
struct FrameFormat {
  FlyCapture2::PixelFormat format = FlyCapture2::UNSPECIFIED_PIXEL_FORMAT;
  FlyCapture2::BayerTileFormat bayer = FlyCapture2::NONE;
  unsigned int bitsPerPixel = 0;
  FlyCapture2::SampleLayout layout = FlyCapture2::LAYOUT_DEFAULT;
  unsigned int sampleBits = 0;  // 0: the pixel format's own depth
};
// The SDK format of a GenICam pixel format name ("Mono8", "BayerRG12p", ...);
// false for one the SDK cannot convert.
bool FrameFormatOf(const std::string& genicamName, FrameFormat* format);
// The same for the number a buffer carries (PFNC, e.g. 0x01080001 Mono8).
bool FrameFormatOfValue(uint32_t pfncValue, FrameFormat* format);
// Whether any of the offered formats carries colour (Bayer, RGB, YUV).
bool OffersColour(const std::vector<std::string>& genicamNames);
// The offered GenICam format that delivers the SDK format `format`, the first
// in the order of the mapping table (MAPPING.md); for RAW8 the first Bayer
// pattern in the order RG, GR, GB, BG. Empty when none does.
std::string GenicamFormatFor(FlyCapture2::PixelFormat format, const std::vector<std::string>& offered);
// The SDK's Format7 bit field of the offered formats. BGR, whose value is not
// a bit of its own, is left out.
unsigned int PixelFormatBits(const std::vector<std::string>& offered);
// The offered formats when not one of them is converted by the SDK (the
// camera's frames would fail every retrieval); empty when one is, or when the
// camera names none.
std::vector<std::string> UnconvertibleOnly(const std::vector<std::string>& offered);

// ---- automatic modes --------------------------------------------------------
// GenICam "Off" / "Once" / "Continuous" against the SDK's manual, one-push and
// automatic flags.
struct AutoFlags {
  bool autoManualMode = false;
  bool onePush = false;
};
AutoFlags AutoFlagsOf(const std::string& genicamAuto);
const char* GenicamAutoOf(bool autoManualMode, bool onePush);

// ---- properties ---------------------------------------------------------------
// One SDK property on GenICam features. A float feature's value v is the
// property value round((v - offset) * scale), offset = min(0, feature
// minimum), so a fixed integer step stands for a fixed amount of the
// feature's unit; integer features are taken as they are.
struct PropertyMapping {
  FlyCapture2::PropertyType type;
  std::vector<const char*> valueFeatures;  // the first the device has is used
  double scale;                            // for float features
  const char* autoFeature;                 // nullptr: none
  const char* enableFeature;               // nullptr: none (on/off not supported)
  const char* units;
  const char* unitAbbreviation;
  bool readOnly;
};
// The mapping of `type`, or nullptr for a property GenICam has no standard
// feature for (iris, focus, zoom, pan, tilt, trigger mode).
const PropertyMapping* FindPropertyMapping(FlyCapture2::PropertyType type);

// Property value <-> feature value of a float feature.
unsigned int ScaledValue(double value, double featureMin, double scale);
double FeatureValue(unsigned int value, double featureMin, double scale);

// ---- trigger ------------------------------------------------------------------
// "Line0" to "Line3" are sources 0 to 3; "Software" is source 4, the one the
// driver offers as "None" (no input line: the trigger comes from the host).
constexpr unsigned int kSoftwareTriggerSource = 4;
// -1 for a source name the SDK has no number for.
int TriggerSourceNumber(const std::string& genicamSource);
std::string TriggerSourceName(unsigned int source);

// ---- binning ------------------------------------------------------------------------
// What BinningHorizontal and BinningVertical accept; 1 to 1 when the camera
// has no binning.
struct BinningRange {
  int64_t horizontalMin = 1, horizontalMax = 1, horizontalStep = 1;
  int64_t verticalMin = 1, verticalMax = 1, verticalStep = 1;
  // The camera takes `factor` in both directions.
  bool Offers(int64_t factor) const;
};

// Format7 mode n is the sensor binned by 2^n in both directions (mode 0 the
// sensor itself), as on DCAM cameras, whose higher Format7 modes are their
// binned readouts. 0 for a mode number with no such factor.
unsigned int BinningOfFormat7Mode(int mode);
// The Format7 mode of a binning, or -1 when the two directions differ or the
// factor is not a power of two.
int Format7ModeOfBinning(int64_t horizontal, int64_t vertical);

// Where a fixed (DCAM) video mode lies on the sensor. A binning under which
// the whole sensor is exactly the mode's size gives the mode with the
// sensor's full field of view; otherwise the mode is the centre of the
// unbinned sensor, offsets rounded down to their increments.
struct FixedModeLayout {
  bool supported = false;
  unsigned int binning = 1;
  unsigned int offsetX = 0;
  unsigned int offsetY = 0;
};
struct SensorGeometry {
  unsigned int width = 0, height = 0;
  unsigned int widthStep = 1, heightStep = 1;
  unsigned int offsetXStep = 1, offsetYStep = 1;
};
FixedModeLayout LayOutFixedMode(const SensorGeometry& sensor, const BinningRange& binning, unsigned int width,
                                unsigned int height);

// ---- strobe timers ---------------------------------------------------------------------
// A strobe pin whose line can output a timer ("Timer0Active", ... as
// LineSource) is driven by that timer, started by the exposure: the strobe's
// delay and duration are TimerDelay and TimerDuration. The SDK counts them in
// milliseconds, GenICam timers in microseconds.
//
// "Timer<k>Active" -> k; -1 for any other source.
int TimerOfLineSource(const std::string& lineSource);
std::string TimerLineSource(int timer);
// The timer for strobe pin `pin`: timer `pin` when its output is among the
// line's sources, else the first timer whose output is; only timers that
// TimerSelector offers ("Timer<k>"). -1 when none.
int StrobeTimerFor(unsigned int pin, const std::vector<std::string>& lineSources,
                   const std::vector<std::string>& timers);
// What starts the timer: the first offered of ExposureStart, FrameStart,
// FrameTriggerWait... in this order of preference; empty when none.
std::string TimerTriggerFor(const std::vector<std::string>& offered);
// The range the SDK shares between a strobe's delay and duration, in
// milliseconds: from 0 (no delay; a duration of 0 is a strobe as long as the
// exposure) to the smaller of the two maxima.
struct StrobeRange {
  float min = 0.0f;
  float max = 0.0f;
};
StrobeRange StrobeRangeOf(double delayMaxUs, double durationMaxUs);
double TimerMicroseconds(float strobeMs);
float StrobeMilliseconds(double timerUs);

// ---- discovery settings -----------------------------------------------------------
struct DiscoverySettings {
  // "USB3Vision", "GigEVision" and/or "Fake", as Aravis names its interfaces.
  std::vector<std::string> interfaces;
  // Camera addresses opened directly (GigE Vision).
  std::vector<std::string> addresses;
};
// From VORQUELL_ARAVIS_INTERFACES and VORQUELL_ARAVIS_DEVICES (comma
// separated; unknown interface names are dropped and reported in `problems`).
// Without VORQUELL_ARAVIS_INTERFACES: USB3 Vision and GigE Vision discovery.
DiscoverySettings ParseDiscoverySettings(const char* interfaces, const char* devices, std::string* problems);

// The two lists as given, from the environment or the settings file; unset
// ones take the defaults. `interfacesOrigin` names where the interfaces were
// set, for the message about a name that is not known.
struct DiscoveryInput {
  std::optional<std::string> interfaces;
  std::string interfacesOrigin = "VORQUELL_ARAVIS_INTERFACES";
  std::optional<std::string> devices;
};

}  // namespace vq::aravis
