#pragma once
// The camera SDK the driver is written against. Every operation returns an
// Error; anything but PGRERROR_OK is a failure. The work is done by a backend
// chosen when the first bus manager is built (see sdk/Backend.h).
#include <chrono>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace FlyCapture2 {

namespace detail {
class CameraDevice;
}

enum ErrorType : int {
  PGRERROR_UNDEFINED = -1,
  PGRERROR_OK = 0,
  PGRERROR_FAILED,
  PGRERROR_NOT_IMPLEMENTED,
  PGRERROR_NOT_CONNECTED,
  PGRERROR_INVALID_PARAMETER,
  PGRERROR_NOT_FOUND,
  PGRERROR_TIMEOUT,
  PGRERROR_ISOCH_NOT_STARTED,
  PGRERROR_ISOCH_ALREADY_STARTED,
  PGRERROR_ISOCH_START_FAILED,
  PGRERROR_IMAGE_CONSUMPTION_ERROR,
  PGRERROR_IMAGE_CONVERSION_FAILED,
  PGRERROR_BUS_MASTER_FAILED,
  PGRERROR_REGISTER_FAILED,
  PGRERROR_READ_REGISTER_FAILED,
  PGRERROR_WRITE_REGISTER_FAILED,
  PGRERROR_CONFIG_FILE_FAILED,
  // The frame came, but not whole (packets lost on the link): the camera
  // and the stream are fine, that frame is gone.
  PGRERROR_IMAGE_INCOMPLETE,
};

class Error {
 public:
  Error() = default;
  Error(ErrorType type, std::string description, const char* file, int line)
      : _type(type), _description(std::move(description)), _file(file ? file : ""), _line(line) {}

  ErrorType GetType() const { return _type; }
  const char* GetDescription() const { return _description.c_str(); }
  const char* GetFilename() const { return _file.c_str(); }
  int GetLine() const { return _line; }

  bool operator==(ErrorType type) const { return _type == type; }
  bool operator!=(ErrorType type) const { return _type != type; }

 private:
  ErrorType _type = PGRERROR_OK;
  std::string _description = "Ok.";
  std::string _file;
  int _line = 0;
};

// Builds an Error that records where it was raised.
#define FC2_ERROR(type, description) ::FlyCapture2::Error((type), (description), __FILE__, __LINE__)

struct PGRGuid {
  uint32_t value[4] = {0, 0, 0, 0};
  bool operator==(const PGRGuid& other) const {
    return value[0] == other.value[0] && value[1] == other.value[1] && value[2] == other.value[2] &&
           value[3] == other.value[3];
  }
};

constexpr int sk_maxStringLength = 512;

struct CameraInfo {
  uint32_t serialNumber = 0;
  bool isColorCamera = false;
  char modelName[sk_maxStringLength] = {};
  char vendorName[sk_maxStringLength] = {};
  char sensorInfo[sk_maxStringLength] = {};
  char sensorResolution[sk_maxStringLength] = {};
  char firmwareVersion[sk_maxStringLength] = {};
};

// ---- bus events --------------------------------------------------------

enum BusCallbackType : int { BUS_RESET = 0, ARRIVAL = 1, REMOVAL = 2 };

// Called on a thread of the SDK's own with the registered parameter and the
// serial number of the camera concerned (0 when the event names none).
using BusEventCallback = void (*)(void* parameter, unsigned int serialNumber);
using CallbackHandle = void*;

// ---- properties --------------------------------------------------------
// The enumerations have a fixed underlying type, so that any number a caller
// passes is a valid value to be checked and refused, never undefined.

enum PropertyType : int {
  BRIGHTNESS = 0,
  AUTO_EXPOSURE = 1,
  SHARPNESS = 2,
  WHITE_BALANCE = 3,
  HUE = 4,
  SATURATION = 5,
  GAMMA = 6,
  IRIS = 7,
  FOCUS = 8,
  ZOOM = 9,
  PAN = 10,
  TILT = 11,
  SHUTTER = 12,
  GAIN = 13,
  TRIGGER_MODE = 14,
  TRIGGER_DELAY = 15,
  FRAME_RATE = 16,
  TEMPERATURE = 17,
  UNSPECIFIED_PROPERTY_TYPE = 18,
};

struct PropertyInfo {
  PropertyType type = BRIGHTNESS;
  bool present = false;
  bool autoSupported = false;
  bool manualSupported = false;
  bool onOffSupported = false;
  bool onePushSupported = false;
  bool absValSupported = false;
  bool readOutSupported = false;
  unsigned int min = 0;
  unsigned int max = 0;
  float absMin = 0.0f;
  float absMax = 0.0f;
  char pUnits[sk_maxStringLength] = {};
  char pUnitAbbr[sk_maxStringLength] = {};
};

struct Property {
  PropertyType type = BRIGHTNESS;
  bool present = false;
  bool absControl = false;
  bool onePush = false;
  bool onOff = false;
  bool autoManualMode = false;
  unsigned int valueA = 0;
  unsigned int valueB = 0;
  float absValue = 0.0f;
};

// ---- video modes, frame rates, Format7 -----------------------------------

enum VideoMode : int {
  VIDEOMODE_160x120YUV444 = 0,
  VIDEOMODE_320x240YUV422,
  VIDEOMODE_640x480YUV411,
  VIDEOMODE_640x480YUV422,
  VIDEOMODE_640x480RGB,
  VIDEOMODE_640x480Y8,
  VIDEOMODE_640x480Y16,
  VIDEOMODE_800x600YUV422,
  VIDEOMODE_800x600RGB,
  VIDEOMODE_800x600Y8,
  VIDEOMODE_800x600Y16,
  VIDEOMODE_1024x768YUV422,
  VIDEOMODE_1024x768RGB,
  VIDEOMODE_1024x768Y8,
  VIDEOMODE_1024x768Y16,
  VIDEOMODE_1280x960YUV422,
  VIDEOMODE_1280x960RGB,
  VIDEOMODE_1280x960Y8,
  VIDEOMODE_1280x960Y16,
  VIDEOMODE_1600x1200YUV422,
  VIDEOMODE_1600x1200RGB,
  VIDEOMODE_1600x1200Y8,
  VIDEOMODE_1600x1200Y16,
  VIDEOMODE_FORMAT7 = 23,
  NUM_VIDEOMODES = 24,
};

enum FrameRate : int {
  FRAMERATE_1_875 = 0,
  FRAMERATE_3_75,
  FRAMERATE_7_5,
  FRAMERATE_15,
  FRAMERATE_30,
  FRAMERATE_60,
  FRAMERATE_120,
  FRAMERATE_240,
  FRAMERATE_FORMAT7 = 8,
  NUM_FRAMERATES = 9,
};

enum Mode : int { MODE_0 = 0, NUM_MODES = 32 };

enum PixelFormat : uint32_t {
  PIXEL_FORMAT_MONO8 = 0x80000000,
  PIXEL_FORMAT_411YUV8 = 0x40000000,
  PIXEL_FORMAT_422YUV8 = 0x20000000,
  PIXEL_FORMAT_444YUV8 = 0x10000000,
  PIXEL_FORMAT_RGB8 = 0x08000000,
  PIXEL_FORMAT_MONO16 = 0x04000000,
  PIXEL_FORMAT_RGB16 = 0x02000000,
  PIXEL_FORMAT_S_MONO16 = 0x01000000,
  PIXEL_FORMAT_S_RGB16 = 0x00800000,
  PIXEL_FORMAT_RAW8 = 0x00400000,
  PIXEL_FORMAT_RAW16 = 0x00200000,
  PIXEL_FORMAT_MONO12 = 0x00100000,
  PIXEL_FORMAT_RAW12 = 0x00080000,
  PIXEL_FORMAT_BGR = 0x80000008,
  PIXEL_FORMAT_BGRU = 0x40000008,
  PIXEL_FORMAT_RGB = PIXEL_FORMAT_RGB8,
  PIXEL_FORMAT_RGBU = 0x40000002,
  UNSPECIFIED_PIXEL_FORMAT = 0,
};

// The colour-filter layout of RAW frames, named by the first two pixels of
// the first row and of the second row.
enum BayerTileFormat : int { NONE = 0, RGGB, GRBG, GBRG, BGGR };

// How the samples of a frame lie in its bytes where the pixel format leaves
// that open: GenICam cameras send one kind of frame in several packings.
enum SampleLayout : int {
  // The pixel format's own layout. MONO16 and RAW16: one little-endian sample
  // in two bytes, in its low bits. MONO12 and RAW12: two samples in three
  // bytes, bytes 0 and 2 holding the high 8 bits of the first and the second
  // sample, byte 1 their remaining low bits (the first sample's from bit 0,
  // the second's from bit 4). 422YUV8: U Y0 V Y1.
  LAYOUT_DEFAULT = 0,
  // MONO12 and RAW12: the samples back to back, least significant bit first,
  // each row starting on a byte.
  LAYOUT_LSB_PACKED,
  // 422YUV8: Y0 U Y1 V.
  LAYOUT_YUYV,
};

struct Format7Info {
  Mode mode = MODE_0;
  unsigned int maxWidth = 0;
  unsigned int maxHeight = 0;
  unsigned int offsetHStepSize = 0;
  unsigned int offsetVStepSize = 0;
  unsigned int imageHStepSize = 0;
  unsigned int imageVStepSize = 0;
  unsigned int pixelFormatBitField = 0;
  unsigned int vendorPixelFormatBitField = 0;
  unsigned int packetSize = 0;
  unsigned int minPacketSize = 0;
  unsigned int maxPacketSize = 0;
  float percentage = 0.0f;
};

struct Format7ImageSettings {
  Mode mode = MODE_0;
  unsigned int offsetX = 0;
  unsigned int offsetY = 0;
  unsigned int width = 0;
  unsigned int height = 0;
  PixelFormat pixelFormat = UNSPECIFIED_PIXEL_FORMAT;
};

// ---- trigger, strobe ---------------------------------------------------

struct TriggerModeInfo {
  bool present = false;
  bool readOutSupported = false;
  bool onOffSupported = false;
  bool polaritySupported = false;
  bool valueReadable = false;
  unsigned int sourceMask = 0;
  bool softwareTriggerSupported = false;
  unsigned int modeMask = 0;
};

// The trigger source that no input line drives: triggers come from
// FireSoftwareTrigger.
constexpr unsigned int SOFTWARE_TRIGGER_SOURCE = 4;

struct TriggerMode {
  bool onOff = false;
  unsigned int polarity = 0;
  unsigned int source = 0;
  unsigned int mode = 0;
  unsigned int parameter = 0;
};

struct StrobeInfo {
  unsigned int source = 0;
  bool present = false;
  bool readOutSupported = false;
  bool onOffSupported = false;
  bool polaritySupported = false;
  float minValue = 0.0f;
  float maxValue = 0.0f;
};

struct StrobeControl {
  unsigned int source = 0;
  bool onOff = false;
  unsigned int polarity = 0;
  float delay = 0.0f;
  float duration = 0.0f;
};

// ---- images ------------------------------------------------------------

// One frame: rows of `stride` bytes holding `cols` pixels each. The pixel
// data stays valid while the image lives and is not changed. A backend may
// lend a received image its own buffer instead of copying out of it: the
// image then holds a lease on the buffer until it is reshaped, returns the
// buffer or is destroyed.
class Image {
 public:
  Image();
  Image(unsigned int rows, unsigned int cols, unsigned int stride, PixelFormat format, BayerTileFormat bayer = NONE);
  ~Image();
  // A copy owns a copy of the bytes, never a lease.
  Image(const Image& other);
  Image& operator=(const Image& other);
  // A moved image takes the other's memory or lease; the other is left empty.
  Image(Image&& other) noexcept;
  Image& operator=(Image&& other) noexcept;

  // Makes the image a view of `data`, a buffer of the backend's that stays
  // valid and unchanged while `lease` is held.
  void Borrow(unsigned int rows, unsigned int cols, unsigned int stride, PixelFormat format, BayerTileFormat bayer,
              unsigned char* data, std::shared_ptr<void> lease);
  bool Borrows() const { return _lease != nullptr; }
  // Gives a borrowed buffer back to its backend at once; the image is then
  // empty. An image over its own memory is left as it is.
  void ReturnBorrowed();

  // Reshapes the image, keeping the allocation when it is large enough. A
  // borrowed buffer goes back first: the image reshapes its own memory.
  Error SetDimensions(unsigned int rows, unsigned int cols, unsigned int stride, PixelFormat format,
                      BayerTileFormat bayer = NONE);

  unsigned int GetRows() const { return _rows; }
  unsigned int GetCols() const { return _cols; }
  unsigned int GetStride() const { return _stride; }
  unsigned int GetDataSize() const { return _rows * _stride; }
  PixelFormat GetPixelFormat() const { return _format; }
  BayerTileFormat GetBayerTileFormat() const { return _bayer; }
  // Bits one pixel takes in the data; packed samples of 10 bits take 10.
  unsigned int GetBitsPerPixel() const;

  // How the samples lie in the bytes, and how many bits a sample has (10 for
  // a 10-bit sample in a MONO16 frame's two bytes). SetDimensions and Borrow
  // reset both to the pixel format's own: LAYOUT_DEFAULT and its full depth
  // (16 for MONO16 and RAW16, 12 for MONO12 and RAW12, 8 per channel for the
  // others); a backend that receives another packing says so after them.
  // Conversions keep the high 8 bits of each sample.
  SampleLayout GetSampleLayout() const { return _layout; }
  unsigned int GetSampleBits() const;
  void SetSampleLayout(SampleLayout layout, unsigned int sampleBits) {
    _layout = layout;
    _sampleBits = sampleBits;
  }
  void GetDimensions(unsigned int* rows, unsigned int* cols = nullptr, unsigned int* stride = nullptr,
                     PixelFormat* format = nullptr, BayerTileFormat* bayer = nullptr) const;
  unsigned char* GetData() { return _borrowed ? _borrowed : _data.empty() ? nullptr : _data.data(); }
  const unsigned char* GetData() const { return _borrowed ? _borrowed : _data.empty() ? nullptr : _data.data(); }

  // The number the camera gave the frame; counts up from 1 per capture start.
  uint64_t GetFrameNumber() const { return _frameNumber; }
  void SetFrameNumber(uint64_t number) { _frameNumber = number; }

  // When the backend received the frame from the camera (an Aravis buffer
  // off the stream, a simulated frame when it became due), on the monotonic
  // clock; the clock's epoch for an image no camera has filled. Conversions
  // keep it, as they keep the frame number.
  std::chrono::steady_clock::time_point GetReceiveTime() const { return _receiveTime; }
  void SetReceiveTime(std::chrono::steady_clock::time_point time) { _receiveTime = time; }

  // The camera's own time stamp of the frame, in nanoseconds of the camera's
  // clock; 0 when the camera sends none.
  uint64_t GetTimeStamp() const { return _timeStamp; }
  void SetTimeStamp(uint64_t nanoseconds) { _timeStamp = nanoseconds; }

  // Converts into `destination` (which is reshaped). Supported targets: BGR
  // and MONO8.
  Error Convert(PixelFormat format, Image* destination) const;
  // Whether Convert to `format` would succeed, without converting.
  Error CheckConversion(PixelFormat format) const;
  // Converts the rows [firstRow, firstRow + rowCount) into caller memory,
  // `targetStride` bytes from one target row to the next, each holding at
  // least `cols` converted pixels. Each row comes out as Convert makes it.
  Error ConvertRows(PixelFormat format, unsigned int firstRow, unsigned int rowCount, unsigned char* target,
                    size_t targetStride) const;

 private:
  void SetShape(unsigned int rows, unsigned int cols, unsigned int stride, PixelFormat format, BayerTileFormat bayer);

  unsigned int _rows = 0;
  unsigned int _cols = 0;
  unsigned int _stride = 0;
  PixelFormat _format = UNSPECIFIED_PIXEL_FORMAT;
  BayerTileFormat _bayer = NONE;
  SampleLayout _layout = LAYOUT_DEFAULT;
  unsigned int _sampleBits = 0;  // 0: the pixel format's own depth
  uint64_t _frameNumber = 0;
  std::chrono::steady_clock::time_point _receiveTime{};
  uint64_t _timeStamp = 0;
  std::vector<unsigned char> _data;
  // A backend's buffer, valid while `_lease` is held.
  unsigned char* _borrowed = nullptr;
  std::shared_ptr<void> _lease;
};

// The conversion of one image's rows to a format, with its checks made once,
// for a reader that takes the rows one at a time: each row then costs the
// conversion (or the copy) alone. The image must keep its data, unchanged,
// while the converter is used; several threads may convert rows at once.
class RowConverter {
 public:
  // Checks as Image::CheckConversion does; on failure the converter is not
  // ready.
  Error Prepare(const Image& image, PixelFormat format);
  void Reset() { *this = RowConverter(); }
  bool Ready() const { return _prepared != nullptr; }
  // Asked for every row: kept here, not behind the pointer.
  unsigned int Rows() const { return _rows; }
  unsigned int Cols() const { return _cols; }
  // Bytes of one converted row.
  size_t RowBytes() const { return _rowBytes; }
  // Converts row `row` (below Rows()) into `target`, which holds RowBytes().
  // A row already in the target's format is a plain copy.
  void Convert(unsigned int row, unsigned char* target) const {
    if (_copyFrom)
      std::memcpy(target, _copyFrom + static_cast<size_t>(row) * _copyStride, _rowBytes);
    else
      ConvertThroughKernel(row, target);
  }

 private:
  void ConvertThroughKernel(unsigned int row, unsigned char* target) const;

  struct Prepared;
  std::shared_ptr<const Prepared> _prepared;
  const unsigned char* _copyFrom = nullptr;  // the source's data, for a plain copy
  size_t _copyStride = 0;
  unsigned int _rows = 0;
  unsigned int _cols = 0;
  size_t _rowBytes = 0;
};

// Called for each frame when capture is started with a callback.
using ImageEventCallback = void (*)(Image* image, const void* callbackData);

// ---- bus manager and camera ----------------------------------------------

class BusManager {
 public:
  BusManager();
  virtual ~BusManager();
  BusManager(const BusManager&) = delete;
  BusManager& operator=(const BusManager&) = delete;

  Error GetNumOfCameras(unsigned int* numCameras);
  Error GetCameraFromIndex(unsigned int index, PGRGuid* guid);
  Error GetCameraFromSerialNumber(unsigned int serialNumber, PGRGuid* guid);
  Error FireBusReset(PGRGuid* guid);
  Error RegisterCallback(BusEventCallback callback, BusCallbackType type, void* parameter, CallbackHandle* handle);
  Error UnregisterCallback(CallbackHandle handle);
};

class Camera {
 public:
  Camera();
  virtual ~Camera();
  Camera(const Camera&) = delete;
  Camera& operator=(const Camera&) = delete;

  Error Connect(PGRGuid* guid);
  Error Disconnect();
  bool IsConnected();
  Error GetCameraInfo(CameraInfo* info);

  Error StartCapture(ImageEventCallback callback = nullptr, const void* callbackData = nullptr);
  Error StopCapture();
  // Blocks until the next frame arrives or capture stops.
  Error RetrieveBuffer(Image* image);

  Error GetPropertyInfo(PropertyInfo* info);
  Error GetProperty(Property* property);
  Error SetProperty(const Property* property, bool broadcast = false);

  Error GetVideoModeAndFrameRateInfo(VideoMode mode, FrameRate rate, bool* supported);
  Error GetVideoModeAndFrameRate(VideoMode* mode, FrameRate* rate);
  Error SetVideoModeAndFrameRate(VideoMode mode, FrameRate rate);
  Error GetFormat7Info(Format7Info* info, bool* supported);
  Error GetFormat7Configuration(Format7ImageSettings* settings, unsigned int* packetSize, float* percentage);
  Error SetFormat7Configuration(const Format7ImageSettings* settings, unsigned int packetSize);

  Error GetTriggerModeInfo(TriggerModeInfo* info);
  Error GetTriggerMode(TriggerMode* mode);
  Error SetTriggerMode(const TriggerMode* mode, bool broadcast = false);
  // Fires the trigger once from software (trigger source SOFTWARE_TRIGGER_SOURCE).
  Error FireSoftwareTrigger(bool broadcast = false);
  Error GetStrobeInfo(StrobeInfo* info);
  Error GetStrobe(StrobeControl* control);
  Error SetStrobe(const StrobeControl* control, bool broadcast = false);
  Error GetGPIOPinDirection(unsigned int pin, unsigned int* direction);
  Error SetGPIOPinDirection(unsigned int pin, unsigned int direction, bool broadcast = false);

 private:
  // Shared so that a RetrieveBuffer blocked in one thread keeps the device
  // alive while another thread disconnects.
  std::shared_ptr<detail::CameraDevice> Device();
  std::mutex _deviceMutex;
  std::shared_ptr<detail::CameraDevice> _device;
};

}  // namespace FlyCapture2
