#pragma once
// The property names a host can use, as docs/properties.md documents them.
// The exports offer no way to list a camera's properties, and they answer 0
// alike for a name the driver does not know and for a property the camera
// lacks; cvlhost tells the two apart, and lists a camera's properties, from
// this list of the documented names.
#include <string>
#include <vector>

namespace cvlhost {

// What a name stands for (names compare ignoring ASCII case, as the driver
// compares them).
enum class NameKind {
  kParameter,    // a parameter of a camera's set; a camera may lack it
  kCommandWord,  // acts on the driver or the camera; never a parameter
  kUnknown,      // no documented name
};

// Every documented parameter name, in the order the driver creates them: the
// driver's own, the camera properties with their On, Auto and OnePush
// controls, DCAM video mode and frame rate, Format7, strobe and GPIO for
// pins 0 to 3, and the trigger.
const std::vector<std::string>& DocumentedParameterNames();

// The command words setProperty knows, and those getProperty answers
// whatever the camera has ("PixelSize", "continuous", the frame's number,
// time and drop counts).
const std::vector<std::string>& SetCommandWords();
const std::vector<std::string>& GetCommandWords();

// The values that shape the frame (video mode, frame rate, Format7): the
// driver writes them to the camera when it is opened again, where the host
// learns the frame's size.
bool TakesEffectOnReopen(const std::string& name);

// "Exposure" is the host's name of the parameter "AutoExposure".
std::string ParameterOf(const std::string& hostName);

// How `name` is read (`forSet`: as setProperty reads it, command words first).
NameKind Classify(const std::string& name, bool forSet);

// The reason a property call on `name` failed, for a person: an unknown name,
// or a documented one the opened camera lacks.
std::string Unanswered(const std::string& name, const std::string& camera, bool forSet);

}  // namespace cvlhost
