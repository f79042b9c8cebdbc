#pragma once
// The debugger-output service: a diagnostic stream beside the host's own log.
// By default lines go to syslog at debug priority; VORQUELL_DEBUG_OUTPUT=stderr
// sends them to standard error, =none discards them. Tests install a sink.

namespace vq {

using DebugSink = void (*)(const char* text);

void OutputDebugString(const char* text);

// Replaces the sink; nullptr restores the default. Returns the previous sink
// (nullptr when the default was in place).
DebugSink SetDebugSink(DebugSink sink);

}  // namespace vq
