#include "sdk/aravis/GvcpProbe.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstring>

namespace vq::aravis {

namespace {

constexpr uint16_t kGvcpPort = 3956;
constexpr uint16_t kDiscoveryCommand = 0x0002;
constexpr uint16_t kDiscoveryAck = 0x0003;
constexpr size_t kHeaderBytes = 8;
// Offsets into the acknowledge's payload (the bootstrap registers).
constexpr size_t kVendorOffset = 0x48;
constexpr size_t kModelOffset = 0x68;
constexpr size_t kSerialOffset = 0xd8;
constexpr size_t kPayloadBytes = 0xf8;

class Socket {
 public:
  Socket() : _fd(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {}
  ~Socket() {
    if (_fd >= 0) ::close(_fd);
  }
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;
  int Fd() const { return _fd; }

 private:
  int _fd;
};

bool ToSocketAddress(const std::string& address, uint16_t port, sockaddr_in* target) {
  std::memset(target, 0, sizeof *target);
  target->sin_family = AF_INET;
  target->sin_port = htons(port);
  return ::inet_pton(AF_INET, address.c_str(), &target->sin_addr) == 1;
}

std::string Text(const unsigned char* field, size_t size) {
  size_t length = 0;
  while (length < size && field[length] != 0) ++length;
  return std::string(reinterpret_cast<const char*>(field), length);
}

}  // namespace

bool ProbeGigECamera(const std::string& address, unsigned int timeoutMs, GvcpIdentity* identity) {
  sockaddr_in camera;
  if (!ToSocketAddress(address, kGvcpPort, &camera)) return false;
  Socket socket;
  // Connected: the kernel delivers only the camera's answers, and nothing
  // is ever sent anywhere but to the camera's address.
  if (socket.Fd() < 0 || ::connect(socket.Fd(), reinterpret_cast<sockaddr*>(&camera), sizeof camera) != 0) return false;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (uint16_t attempt = 1; attempt <= 2; ++attempt) {
    const unsigned char command[kHeaderBytes] = {0x42,
                                                 0x01,
                                                 0x00,
                                                 kDiscoveryCommand,
                                                 0x00,
                                                 0x00,
                                                 static_cast<unsigned char>(attempt >> 8),
                                                 static_cast<unsigned char>(attempt & 0xff)};
    if (::send(socket.Fd(), command, sizeof command, 0) != static_cast<ssize_t>(sizeof command)) return false;
    const auto attemptEnd =
        attempt == 1 ? std::chrono::steady_clock::now() + (deadline - std::chrono::steady_clock::now()) / 2 : deadline;
    while (true) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(attemptEnd - std::chrono::steady_clock::now());
      if (left.count() <= 0) break;
      pollfd wait{socket.Fd(), POLLIN, 0};
      if (::poll(&wait, 1, static_cast<int>(left.count())) <= 0) break;
      unsigned char answer[kHeaderBytes + kPayloadBytes + 64];
      ssize_t size = ::recv(socket.Fd(), answer, sizeof answer, 0);
      if (size < static_cast<ssize_t>(kHeaderBytes + kPayloadBytes)) continue;  // refused or short: wait on
      uint16_t status = static_cast<uint16_t>(answer[0] << 8 | answer[1]);
      uint16_t kind = static_cast<uint16_t>(answer[2] << 8 | answer[3]);
      if (status != 0 || kind != kDiscoveryAck) continue;
      const unsigned char* payload = answer + kHeaderBytes;
      identity->vendor = Text(payload + kVendorOffset, 32);
      identity->model = Text(payload + kModelOffset, 32);
      identity->serial = Text(payload + kSerialOffset, 16);
      return true;
    }
  }
  return false;
}

std::string LocalAddressFor(const std::string& address) {
  sockaddr_in remote;
  if (!ToSocketAddress(address, kGvcpPort, &remote)) return std::string();
  Socket socket;
  // Connecting a datagram socket only chooses the route; nothing is sent.
  if (socket.Fd() < 0 || ::connect(socket.Fd(), reinterpret_cast<sockaddr*>(&remote), sizeof remote) != 0)
    return std::string();
  sockaddr_in local;
  socklen_t size = sizeof local;
  if (::getsockname(socket.Fd(), reinterpret_cast<sockaddr*>(&local), &size) != 0) return std::string();
  char text[INET_ADDRSTRLEN] = {};
  if (!::inet_ntop(AF_INET, &local.sin_addr, text, sizeof text)) return std::string();
  return text;
}

}  // namespace vq::aravis
