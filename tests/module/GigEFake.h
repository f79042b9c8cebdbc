#pragma once
// Aravis's GigE Vision fake camera, hosted in the test process on 127.0.0.1
// only (port 3956: one per machine, so tests that use it hold a ctest
// resource lock). Tests reach the camera's registers directly, as the
// outside world would: a trigger pulse, a frame pattern, its settings.
// Nothing here lists devices or broadcasts.
#include <arv.h>

#include <atomic>
#include <string>

namespace moduletest {

class GigEFake {
 public:
  static constexpr const char* kAddress = "127.0.0.1";
  static constexpr const char* kSerial = "GV01";

  GigEFake() { Start(); }
  ~GigEFake() { Stop(); }
  GigEFake(const GigEFake&) = delete;
  GigEFake& operator=(const GigEFake&) = delete;

  void Start() {
    if (_fake) return;
    _fake = arv_gv_fake_camera_new(kAddress, kSerial);
    if (_pattern) InstallPattern();
  }
  // The camera leaves the network: it stops answering at once.
  void Stop() {
    if (_fake) g_object_unref(_fake);
    _fake = nullptr;
  }
  ArvGvFakeCamera* Fake() const { return _fake; }
  bool Running() const { return _fake && arv_gv_fake_camera_is_running(_fake); }
  ArvFakeCamera* Camera() const { return arv_gv_fake_camera_get_fake_camera(_fake); }

  uint32_t Register(uint32_t address) const {
    guint32 value = 0;
    arv_fake_camera_read_register(Camera(), address, &value);
    return value;
  }
  void FireSoftwareTrigger() { arv_fake_camera_write_register(Camera(), ARV_FAKE_CAMERA_REGISTER_TRIGGER_SOFTWARE, 1); }

  // Sets GenICam features through a control connection of the test's own,
  // released before the driver connects.
  bool Configure(std::initializer_list<std::pair<const char*, const char*>> features) {
    GInetAddress* address = g_inet_address_new_from_string(kAddress);
    GError* error = nullptr;
    ArvDevice* device = arv_gv_device_new(address, address, &error);
    g_object_unref(address);
    if (!device) {
      g_clear_error(&error);
      return false;
    }
    bool ok = true;
    for (const auto& [name, value] : features) {
      // Digits are an integer feature's value, anything else an enumeration's.
      const std::string text = value;
      if (!text.empty() && text.find_first_not_of("0123456789") == std::string::npos)
        arv_device_set_integer_feature_value(device, name, std::stoll(text), &error);
      else
        arv_device_set_string_feature_value(device, name, value, &error);
      if (error) {
        ok = false;
        g_clear_error(&error);
      }
    }
    g_object_unref(device);
    return ok;
  }

  // RGB8 frames whose every pixel names its place on the sensor, so that a
  // row the host reads can be checked byte for byte, offsets included.
  static unsigned char Red(unsigned x, unsigned y) { return static_cast<unsigned char>(x + 2 * y); }
  static unsigned char Green(unsigned x, unsigned y) { return static_cast<unsigned char>(3 * x + y); }
  static unsigned char Blue(unsigned x, unsigned y) { return static_cast<unsigned char>(x ^ (y >> 1)); }
  void UsePositionPattern() {
    _pattern = true;
    InstallPattern();
  }

 private:
  void InstallPattern() { arv_fake_camera_set_fill_pattern(Camera(), &GigEFake::Fill, this); }

  static void Fill(ArvBuffer* buffer, void* data, guint32, guint32, ArvPixelFormat format) {
    if (format != ARV_PIXEL_FORMAT_RGB_8_PACKED) return;
    auto* self = static_cast<GigEFake*>(data);
    const unsigned offsetX = self->Register(ARV_FAKE_CAMERA_REGISTER_X_OFFSET);
    const unsigned offsetY = self->Register(ARV_FAKE_CAMERA_REGISTER_Y_OFFSET);
    const unsigned width = self->Register(ARV_FAKE_CAMERA_REGISTER_WIDTH);
    const unsigned height = self->Register(ARV_FAKE_CAMERA_REGISTER_HEIGHT);
    // The fake's buffer holds one payload of the current region; its
    // received size is not set yet while it is being filled.
    auto* pixels = static_cast<unsigned char*>(const_cast<void*>(arv_buffer_get_data(buffer, nullptr)));
    if (!pixels) return;
    for (unsigned y = 0; y < height; ++y)
      for (unsigned x = 0; x < width; ++x) {
        unsigned char* pixel = pixels + (static_cast<size_t>(y) * width + x) * 3;
        pixel[0] = Red(x + offsetX, y + offsetY);
        pixel[1] = Green(x + offsetX, y + offsetY);
        pixel[2] = Blue(x + offsetX, y + offsetY);
      }
  }

  ArvGvFakeCamera* _fake = nullptr;
  bool _pattern = false;
};

}  // namespace moduletest
