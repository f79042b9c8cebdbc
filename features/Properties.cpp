// Camera properties as parameters: each property the camera reports present
// becomes an unsigned parameter with the camera's range, plus boolean
// sub-parameters for the on/off, automatic and one-push controls it supports.
#include "features/CameraFeatures.h"
#include "features/FeatureTables.h"
#include "sdk/FlyError.h"

namespace vq {

namespace {

bool Failed(const FlyCapture2::Error& error) { return error != FlyCapture2::PGRERROR_OK; }

// A cleared record asking for `type`.
FlyCapture2::Property PropertyOfType(FlyCapture2::PropertyType type) {
  FlyCapture2::Property property;
  property.type = type;
  return property;
}

FlyCapture2::PropertyInfo PropertyInfoOfType(FlyCapture2::PropertyType type) {
  FlyCapture2::PropertyInfo info;
  info.type = type;
  return info;
}

}  // namespace

bool CameraFeatures::GetFlyProperty(const std::string& name, FlyCapture2::PropertyType type) {
  FlyCapture2::PropertyInfo info = PropertyInfoOfType(type);
  if (Failed(_flyCamera->GetPropertyInfo(&info)) || !info.present) {
    WriteLog(_context, kLogInfo, "Info: property '%s' not present\n", name.c_str());
    return false;
  }
  FlyCapture2::Property property = PropertyOfType(type);
  FlyCapture2::Error error = _flyCamera->GetProperty(&property);
  if (Failed(error)) {
    WriteLog(_context, kLogError, "Camera::GetFlyProperty: ERROR: Failed to get property %s: %s\n", name.c_str(),
             FormatFlyError(error).c_str());
    return false;
  }
  // An existing parameter takes only the new value: its range stays that of
  // the first read.
  if (info.onOffSupported) SetParameter<bool>(name + "On", property.onOff, property.onOff, property.onOff);
  SetParameter<unsigned>(name, property.valueA, info.min, info.max);
  if (info.autoSupported)
    SetParameter<bool>(name + "Auto", property.autoManualMode, property.autoManualMode, property.autoManualMode);
  if (info.onePushSupported) SetParameter<bool>(name + "OnePush", property.onePush, property.onePush, property.onePush);
  return true;
}

bool CameraFeatures::GetFlyProperties() {
  for (const FlyPropertyRow& row : FlyPropertyTable) {
    WriteLog(_context, kLogDetail, "Camera::GetFlyProperties: getting property %s\n", row.name);
    GetFlyProperty(row.name, row.type);
  }
  return true;
}

bool CameraFeatures::SetFlyProperty(const std::string& name, FlyCapture2::PropertyType type) {
  WriteLog(_context, kLogDetail, "Camera::SetFlyProperty: setting property %s\n", name.c_str());
  FlyCapture2::PropertyInfo info = PropertyInfoOfType(type);
  FlyCapture2::Error error = _flyCamera->GetPropertyInfo(&info);
  if (Failed(error)) {
    WriteLog(_context, kLogInfo, "Camera::SetFlyProperty: WARNING: Failed to get property info %s: %s\n", name.c_str(),
             FormatFlyError(error).c_str());
    return false;
  }
  if (!info.present) return false;

  // Start from the camera's own record, so that value B, the absolute value
  // and the flags without a parameter go back as the camera reported them.
  FlyCapture2::Property property = PropertyOfType(type);
  error = _flyCamera->GetProperty(&property);
  if (Failed(error)) {
    WriteLog(_context, kLogError, "Camera::SetFlyProperty: ERROR: Failed to get property %s: %s\n", name.c_str(),
             FormatFlyError(error).c_str());
    return false;
  }
  property.absControl = false;
  property.valueA = GetParameter<unsigned>(name);
  if (info.onOffSupported && _parameters.HasParam(name + "On")) property.onOff = GetParameter<bool>(name + "On");
  if (info.autoSupported && _parameters.HasParam(name + "Auto"))
    property.autoManualMode = GetParameter<bool>(name + "Auto");
  if (info.onePushSupported && _parameters.HasParam(name + "OnePush"))
    property.onePush = GetParameter<bool>(name + "OnePush");

  error = _flyCamera->SetProperty(&property, false);
  if (Failed(error)) {
    WriteLog(_context, kLogError, "Camera::SetFlyProperty: ERROR: Failed to set property %s: %s\n", name.c_str(),
             FormatFlyError(error).c_str());
    return false;
  }
  return true;
}

bool CameraFeatures::SetFlyProperties() {
  for (const FlyPropertyRow& row : FlyPropertyTable) {
    if (_parameters.HasParam(row.name)) SetFlyProperty(row.name, row.type);
  }
  return true;
}

}  // namespace vq
