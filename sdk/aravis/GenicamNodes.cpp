#include "sdk/aravis/GenicamNodes.h"

#include <arv.h>

#include <algorithm>
#include <cmath>

namespace vq::aravis {

using namespace FlyCapture2;

namespace {

// Turns a GError into an SDK error and frees it.
Error Check(GError* error, const char* feature, ErrorType type) {
  if (!error) return Error();
  std::string text = std::string("GenICam feature '") + feature + "': " + (error->message ? error->message : "failed");
  g_error_free(error);
  return FC2_ERROR(type, text + ".");
}

}  // namespace

bool GenicamNodes::Has(const char* name) {
  std::lock_guard<std::recursive_mutex> lock(_mutex);
  GError* error = nullptr;
  gboolean available = arv_camera_is_feature_available(_camera, name, &error);
  if (error) g_error_free(error);
  return available && !error;
}

bool GenicamNodes::IsFloat(const char* name) {
  std::lock_guard<std::recursive_mutex> lock(_mutex);
  ArvGcNode* node = arv_device_get_feature(arv_camera_get_device(_camera), name);
  return node && ARV_IS_GC_FLOAT(node);
}

Error GenicamNodes::GetInteger(const char* name, int64_t* value) {
  std::lock_guard<std::recursive_mutex> lock(_mutex);
  GError* error = nullptr;
  *value = arv_camera_get_integer(_camera, name, &error);
  return Check(error, name, PGRERROR_READ_REGISTER_FAILED);
}

Error GenicamNodes::SetInteger(const char* name, int64_t value) {
  std::lock_guard<std::recursive_mutex> lock(_mutex);
  GError* error = nullptr;
  arv_camera_set_integer(_camera, name, value, &error);
  return Check(error, name, PGRERROR_WRITE_REGISTER_FAILED);
}

Error GenicamNodes::IntegerBounds(const char* name, int64_t* min, int64_t* max) {
  std::lock_guard<std::recursive_mutex> lock(_mutex);
  GError* error = nullptr;
  gint64 low = 0, high = 0;
  arv_camera_get_integer_bounds(_camera, name, &low, &high, &error);
  *min = low;
  *max = high;
  return Check(error, name, PGRERROR_READ_REGISTER_FAILED);
}

Error GenicamNodes::IntegerIncrement(const char* name, int64_t* increment) {
  std::lock_guard<std::recursive_mutex> lock(_mutex);
  GError* error = nullptr;
  *increment = arv_camera_get_integer_increment(_camera, name, &error);
  if (*increment < 1) *increment = 1;
  return Check(error, name, PGRERROR_READ_REGISTER_FAILED);
}

Error GenicamNodes::GetNumber(const char* name, double* value) {
  std::lock_guard<std::recursive_mutex> lock(_mutex);
  if (IsFloat(name)) {
    GError* error = nullptr;
    *value = arv_camera_get_float(_camera, name, &error);
    return Check(error, name, PGRERROR_READ_REGISTER_FAILED);
  }
  int64_t integer = 0;
  Error error = GetInteger(name, &integer);
  *value = static_cast<double>(integer);
  return error;
}

Error GenicamNodes::SetNumber(const char* name, double value) {
  std::lock_guard<std::recursive_mutex> lock(_mutex);
  if (IsFloat(name)) {
    GError* error = nullptr;
    arv_camera_set_float(_camera, name, value, &error);
    return Check(error, name, PGRERROR_WRITE_REGISTER_FAILED);
  }
  return SetInteger(name, static_cast<int64_t>(std::llround(value)));
}

Error GenicamNodes::NumberBounds(const char* name, double* min, double* max) {
  std::lock_guard<std::recursive_mutex> lock(_mutex);
  if (IsFloat(name)) {
    GError* error = nullptr;
    arv_camera_get_float_bounds(_camera, name, min, max, &error);
    return Check(error, name, PGRERROR_READ_REGISTER_FAILED);
  }
  int64_t low = 0, high = 0;
  Error error = IntegerBounds(name, &low, &high);
  *min = static_cast<double>(low);
  *max = static_cast<double>(high);
  return error;
}

Error GenicamNodes::GetString(const char* name, std::string* value) {
  std::lock_guard<std::recursive_mutex> lock(_mutex);
  GError* error = nullptr;
  const char* text = arv_camera_get_string(_camera, name, &error);
  *value = text && !error ? text : "";
  return Check(error, name, PGRERROR_READ_REGISTER_FAILED);
}

Error GenicamNodes::SetString(const char* name, const std::string& value) {
  std::lock_guard<std::recursive_mutex> lock(_mutex);
  GError* error = nullptr;
  arv_camera_set_string(_camera, name, value.c_str(), &error);
  return Check(error, name, PGRERROR_WRITE_REGISTER_FAILED);
}

std::vector<std::string> GenicamNodes::Options(const char* name) {
  std::lock_guard<std::recursive_mutex> lock(_mutex);
  std::vector<std::string> options;
  if (!Has(name)) return options;
  GError* error = nullptr;
  guint count = 0;
  const char** entries = arv_camera_dup_available_enumerations_as_strings(_camera, name, &count, &error);
  if (error) g_error_free(error);
  for (guint i = 0; entries && i < count; ++i)
    if (entries[i]) options.emplace_back(entries[i]);
  g_free(entries);
  return options;
}

bool GenicamNodes::Offers(const char* name, const std::string& option) {
  auto options = Options(name);
  return std::find(options.begin(), options.end(), option) != options.end();
}

Error GenicamNodes::Execute(const char* name) {
  std::lock_guard<std::recursive_mutex> lock(_mutex);
  GError* error = nullptr;
  arv_camera_execute_command(_camera, name, &error);
  return Check(error, name, PGRERROR_WRITE_REGISTER_FAILED);
}

const char* GenicamNodes::FirstOf(const std::vector<const char*>& names) {
  for (const char* name : names)
    if (Has(name)) return name;
  return nullptr;
}

}  // namespace vq::aravis
