#pragma once
// Feature access to one GenICam camera by standard feature name. The node
// tree has no locks of its own, so every access runs under this object's
// mutex; a caller that needs several accesses to stay together (a selector
// and the feature it selects) holds Lock() around them. Strings are copied at
// once: Aravis frees them at the next read of the same node. A failed access
// returns an SDK error that names the feature.
#include <mutex>
#include <string>
#include <vector>

#include "sdk/FlyCapture2.h"

typedef struct _ArvCamera ArvCamera;

namespace vq::aravis {

class GenicamNodes {
 public:
  // Borrows the camera; it must outlive this object.
  explicit GenicamNodes(ArvCamera* camera) : _camera(camera) {}
  GenicamNodes(const GenicamNodes&) = delete;
  GenicamNodes& operator=(const GenicamNodes&) = delete;

  std::unique_lock<std::recursive_mutex> Lock() { return std::unique_lock<std::recursive_mutex>(_mutex); }

  // Implemented and available now (a feature may be locked by the state of
  // another, e.g. while acquiring).
  bool Has(const char* name);
  // A float feature (as opposed to an integer one).
  bool IsFloat(const char* name);

  FlyCapture2::Error GetInteger(const char* name, int64_t* value);
  FlyCapture2::Error SetInteger(const char* name, int64_t value);
  FlyCapture2::Error IntegerBounds(const char* name, int64_t* min, int64_t* max);
  FlyCapture2::Error IntegerIncrement(const char* name, int64_t* increment);

  // Integer or float features, as numbers.
  FlyCapture2::Error GetNumber(const char* name, double* value);
  FlyCapture2::Error SetNumber(const char* name, double value);
  FlyCapture2::Error NumberBounds(const char* name, double* min, double* max);

  // Strings and enumerations (by entry name).
  FlyCapture2::Error GetString(const char* name, std::string* value);
  FlyCapture2::Error SetString(const char* name, const std::string& value);
  // The entries of an enumeration that are available now; empty when it is absent.
  std::vector<std::string> Options(const char* name);
  bool Offers(const char* name, const std::string& option);
  FlyCapture2::Error Execute(const char* name);

  // The first of `names` the camera has, or nullptr.
  const char* FirstOf(const std::vector<const char*>& names);

 private:
  ArvCamera* const _camera;
  std::recursive_mutex _mutex;
};

}  // namespace vq::aravis
