#include "sdk/aravis/AravisStream.h"

#include <arv.h>

#include <chrono>
#include <climits>
#include <string>

#include "sdk/aravis/GenicamMapping.h"

namespace vq::aravis {

using namespace FlyCapture2;

namespace {

// GigE Vision over plain UDP (no CAP_NET_RAW) loses frames with the
// system's default socket buffer: give every stream this much.
constexpr int kSocketBufferBytes = 4 << 20;

const char* BufferStatusText(ArvBufferStatus status) {
  switch (status) {
    case ARV_BUFFER_STATUS_MISSING_PACKETS: return "packets were missing";
    case ARV_BUFFER_STATUS_WRONG_PACKET_ID: return "a packet had a wrong id";
    case ARV_BUFFER_STATUS_SIZE_MISMATCH: return "the frame did not fit the buffer";
    case ARV_BUFFER_STATUS_FILLING: return "the frame was still being filled";
    case ARV_BUFFER_STATUS_ABORTED: return "the transfer was aborted";
    case ARV_BUFFER_STATUS_TIMEOUT: return "the frame timed out";
    default: return "the transfer failed";
  }
}

// Statuses of a frame that came but not whole: the link lost packets that a
// resend did not bring back in time. The stream goes on.
bool LostInTransfer(ArvBufferStatus status) {
  return status == ARV_BUFFER_STATUS_MISSING_PACKETS || status == ARV_BUFFER_STATUS_WRONG_PACKET_ID ||
         status == ARV_BUFFER_STATUS_TIMEOUT || status == ARV_BUFFER_STATUS_FILLING;
}

}  // namespace

struct AravisStream::Capture {
  ArvStream* stream = nullptr;
  std::atomic<bool> stopped{false};
  std::atomic<uint64_t> frames{0};
  Release release;
  std::shared_ptr<DeviceLink> link;
  bool inProcess = false;
  ~Capture() {
    if (!stream) return;
    if (inProcess || link->lost)
      release(stream);
    else
      g_object_unref(stream);
  }
};

AravisStream::AravisStream(ArvCamera* camera, GenicamNodes& nodes, const DeviceIdentity& identity,
                           std::shared_ptr<DeviceLink> link, Release releaseElsewhere)
    : _camera(camera),
      _nodes(nodes),
      _identity(identity),
      _link(std::move(link)),
      _releaseElsewhere(std::move(releaseElsewhere)) {}

#define ARV_REQUIRE_PRESENT()             \
  do {                                    \
    Error gone = Gone(*_link, _identity); \
    if (gone != PGRERROR_OK) return gone; \
  } while (0)

std::shared_ptr<AravisStream::Capture> AravisStream::CurrentCapture() {
  std::lock_guard<std::mutex> lock(_captureMutex);
  return _capture;
}

bool AravisStream::Running() { return CurrentCapture() != nullptr; }

Error AravisStream::Start() {
  ARV_REQUIRE_PRESENT();
  std::lock_guard<std::mutex> captureLock(_captureMutex);
  if (_capture) return FC2_ERROR(PGRERROR_ISOCH_ALREADY_STARTED, "Capture is already running.");
  auto lock = _nodes.Lock();
  GError* error = nullptr;
  guint payload = arv_camera_get_payload(_camera, &error);
  if (error || payload == 0) {
    std::string text = error ? error->message : "the camera reports no payload size";
    if (error) g_error_free(error);
    return FC2_ERROR(PGRERROR_ISOCH_START_FAILED, "The stream could not be set up: " + text + ".");
  }
  auto capture = std::make_shared<Capture>();
  capture->release = _releaseElsewhere;
  capture->link = _link;
  capture->inProcess = _identity.transport == "Fake";
  capture->stream = arv_camera_create_stream(_camera, nullptr, nullptr, &error);
  if (!capture->stream) {
    std::string text = error ? error->message : "no stream";
    if (error) g_error_free(error);
    return FC2_ERROR(PGRERROR_ISOCH_START_FAILED, "The stream could not be created: " + text + ".");
  }
  // Lost packets are asked for again: on a lossy link most frames still
  // arrive whole, and only those that do not are dropped.
  if (ARV_IS_GV_STREAM(capture->stream))
    g_object_set(capture->stream, "socket-buffer", ARV_GV_STREAM_SOCKET_BUFFER_FIXED, "socket-buffer-size",
                 kSocketBufferBytes, "packet-resend", ARV_GV_STREAM_PACKET_RESEND_ALWAYS, nullptr);
  for (unsigned int i = 0; i < kBufferCount; ++i)
    arv_stream_push_buffer(capture->stream, arv_buffer_new_allocate(payload));
  if (_nodes.Has("AcquisitionMode")) _nodes.SetString("AcquisitionMode", "Continuous");
  arv_camera_start_acquisition(_camera, &error);
  if (error) {
    std::string text = error->message ? error->message : "failed";
    g_error_free(error);
    return FC2_ERROR(PGRERROR_ISOCH_START_FAILED, "Acquisition could not be started: " + text + ".");
  }
  _capture = std::move(capture);
  return Error();
}

Error AravisStream::Stop() {
  std::shared_ptr<Capture> capture;
  {
    std::lock_guard<std::mutex> lock(_captureMutex);
    capture.swap(_capture);
  }
  if (!capture) return FC2_ERROR(PGRERROR_ISOCH_NOT_STARTED, "Capture is not running.");
  capture->stopped = true;  // a retrieval waiting on the stream returns within one pop period
  if (!_link->lost) {
    auto lock = _nodes.Lock();
    GError* error = nullptr;
    arv_camera_stop_acquisition(_camera, &error);
    if (error) g_error_free(error);  // the stream is gone either way
  }
  return Error();
}

Error AravisStream::Retrieve(Image* image) {
  std::shared_ptr<Capture> capture = CurrentCapture();
  if (!capture) {
    ARV_REQUIRE_PRESENT();
    return FC2_ERROR(PGRERROR_ISOCH_NOT_STARTED, "Capture is not running.");
  }
  ArvBuffer* buffer = nullptr;
  while (!buffer) {
    ARV_REQUIRE_PRESENT();
    if (capture->stopped)
      return FC2_ERROR(PGRERROR_ISOCH_NOT_STARTED, "Capture was stopped while waiting for a frame.");
    buffer = arv_stream_timeout_pop_buffer(capture->stream, kPopPeriodUs);
  }
  const auto received = std::chrono::steady_clock::now();
  // The buffer goes back to the stream on every failure below; a good frame
  // lends it to the image, which gives it back when it is done with it.
  std::shared_ptr<void> lease = LendBuffer(capture, buffer);

  ArvBufferStatus status = arv_buffer_get_status(buffer);
  if (status != ARV_BUFFER_STATUS_SUCCESS)
    return FC2_ERROR(LostInTransfer(status) ? PGRERROR_IMAGE_INCOMPLETE : PGRERROR_IMAGE_CONSUMPTION_ERROR,
                     std::string("The frame was lost in transfer: ") + BufferStatusText(status) + ".");
  FrameFormat format;
  if (!FrameFormatOfValue(arv_buffer_get_image_pixel_format(buffer), &format))
    return FC2_ERROR(PGRERROR_IMAGE_CONVERSION_FAILED, "The camera delivered a pixel format the SDK cannot convert.");
  const auto width = static_cast<unsigned int>(arv_buffer_get_image_width(buffer));
  const auto height = static_cast<unsigned int>(arv_buffer_get_image_height(buffer));
  size_t size = 0;
  const auto* data = static_cast<const unsigned char*>(arv_buffer_get_image_data(buffer, &size));
  // Packed samples run on from one row into the next: the rows are read one
  // by one only when each ends on a byte.
  const uint64_t rowBits = uint64_t{width} * format.bitsPerPixel;
  if (format.layout == LAYOUT_LSB_PACKED && rowBits % 8 != 0)
    return FC2_ERROR(PGRERROR_IMAGE_CONVERSION_FAILED,
                     "The camera delivered packed rows of " + std::to_string(width) +
                         " pixels, which do not end on a byte; the SDK converts such rows only at widths that do.");
  const auto rowBytes = static_cast<unsigned int>((rowBits + 7) / 8);
  gint paddingX = 0;
  arv_buffer_get_image_padding(buffer, &paddingX, nullptr);
  const size_t sourceStride = rowBytes + static_cast<size_t>(paddingX > 0 ? paddingX : 0);
  if (!data || width == 0 || height == 0 || sourceStride > UINT_MAX || size < sourceStride * (height - 1) + rowBytes)
    return FC2_ERROR(PGRERROR_IMAGE_CONSUMPTION_ERROR, "The camera delivered an incomplete frame.");
  // The stream allocated the buffer's memory; the image only reads it.
  image->Borrow(height, width, static_cast<unsigned int>(sourceStride), format.format, format.bayer,
                const_cast<unsigned char*>(data), std::move(lease));
  image->SetSampleLayout(format.layout, format.sampleBits);
  image->SetFrameNumber(capture->frames.fetch_add(1) + 1);
  image->SetReceiveTime(received);
  image->SetTimeStamp(arv_buffer_get_timestamp(buffer));
  return Error();
}

// A popped buffer is ours until it is pushed back. It goes back to the stream
// it came from while that capture runs; a buffer returned after its capture
// ended is freed instead, and does not keep the stream alive: a stream must be
// released where its capture ends (see Capture).
std::shared_ptr<void> AravisStream::LendBuffer(const std::shared_ptr<Capture>& capture, ArvBuffer* buffer) {
  std::weak_ptr<Capture> owner = capture;
  return std::shared_ptr<void>(buffer, [owner](void* lent) {
    auto* buffer = static_cast<ArvBuffer*>(lent);
    std::shared_ptr<Capture> capture = owner.lock();
    if (capture && !capture->stopped)
      arv_stream_push_buffer(capture->stream, buffer);
    else
      g_object_unref(buffer);
  });
}

}  // namespace vq::aravis
