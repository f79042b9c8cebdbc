// Fuzz target: the settings file as a person may have edited it. The text is
// loaded into a camera's parameter set, one value is changed, the set is
// saved and loaded again into a fresh set. Checked: the INI stand-in keeps
// the text byte for byte, and every value saved reads back as saved.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>

#include "log/DriverContext.h"
#include "params/CameraParameters.h"
#include "params/Param.h"
#include "params/ParamEnum.h"
#include "platform/ProfileText.h"
#include "tests/fuzz/FuzzSupport.h"

using namespace vq;

namespace {

const CameraIdentity kCamera{2, "Vq-Color (1234)", 1234};

CameraParameters CameraSet() {
  CameraParameters params(kCamera);
  params.AddParam(new Param<unsigned>("Camera Settings", "Brightness", 10, 0, 1023, 0));
  params.AddParam(new Param<int>("Camera Settings", "Offset", -5, -100, 100, 0));
  params.AddParam(new Param<float>("Camera Settings", "Gain", 0.1f, 0.0f, 24.0f, 0.0f));
  params.AddParam(new Param<bool>("Camera Settings", "GainOn", true, false, true, false));
  params.AddParam(new Param<int64_t>("Camera Settings", "Stamp", 1, 0, 0, 0));
  params.AddParam(new Param<std::string>("Camera Settings", "Label", "camera"));
  auto* mode = new ParamEnum("DCAM Formats", "DCAMVideoMode", "");
  mode->AddOption("640x480Y8", 5);
  mode->AddOption("FORMAT7", 23);
  params.AddParam(mode);
  return params;
}

void Check(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "settings_fuzz: %s\n", what);
  __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string folder = vqfuzz::TempFolder();
  static const std::string file = folder + "/VorquellCamera.ini";
  static uint64_t iteration = 0;
  vqfuzz::TrimDriverFiles(++iteration);
  GetDriverContext()->SetSystemPath(folder);

  const uint32_t newBrightness = vqfuzz::Take<uint32_t>(data, size);
  const std::string text(reinterpret_cast<const char*>(data), size);
  Check(vq::ProfileText(text).Text() == text, "the INI text is not kept byte for byte");
  std::ofstream(file, std::ios::binary | std::ios::trunc) << text;

  CameraParameters params = CameraSet();
  params.Load();
  auto& brightness = dynamic_cast<Param<unsigned>&>(params.GetParam("Brightness"));
  brightness._value = newBrightness % 2048;
  params.Save();

  CameraParameters reread = CameraSet();
  reread.Load();
  for (Param_& param : params.Params()) {
    if (!param._persistent || !param._enabled) continue;
    const std::string saved = param.ToString();
    Check(saved == reread.GetParam(param._name).ToString(), "a saved value does not read back");
  }
  return 0;
}
