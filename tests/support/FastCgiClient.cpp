#include "support/FastCgiClient.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

constexpr uint8_t kVersion = 1;
constexpr uint8_t kBeginRequest = 1;
constexpr uint8_t kEndRequest = 3;
constexpr uint8_t kParams = 4;
constexpr uint8_t kStdin = 5;
constexpr uint8_t kStdout = 6;
constexpr uint8_t kStderr = 7;
constexpr uint16_t kRequestId = 1;
constexpr uint16_t kResponderRole = 1;
constexpr uint8_t kKeepConnection = 1;
constexpr std::size_t kMaxContent = 65535;
constexpr std::size_t kHeaderSize = 8;

int ConnectTo(int family, const sockaddr* where, socklen_t length) {
  const int fd = socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd >= 0 && connect(fd, where, length) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

int Connect(const std::string& address) {
  if (address.rfind("unix:", 0) == 0) {
    const std::string path = address.substr(5);
    sockaddr_un where{};
    if (path.size() >= sizeof where.sun_path) return -1;
    where.sun_family = AF_UNIX;
    std::memcpy(where.sun_path, path.c_str(), path.size() + 1);
    return ConnectTo(AF_UNIX, reinterpret_cast<sockaddr*>(&where), sizeof where);
  }
  const std::size_t colon = address.rfind(':');
  sockaddr_in where{};
  where.sin_family = AF_INET;
  if (colon == std::string::npos || inet_pton(AF_INET, address.substr(0, colon).c_str(), &where.sin_addr) != 1) {
    return -1;
  }
  where.sin_port = htons(static_cast<uint16_t>(std::stoi(address.substr(colon + 1))));
  return ConnectTo(AF_INET, reinterpret_cast<sockaddr*>(&where), sizeof where);
}

bool WriteAll(int fd, const std::string& bytes) {
  std::size_t written = 0;
  while (written < bytes.size()) {
    const ssize_t n = send(fd, bytes.data() + written, bytes.size() - written, MSG_NOSIGNAL);
    if (n <= 0) return false;
    written += static_cast<std::size_t>(n);
  }
  return true;
}

void AppendLength(std::string& out, std::size_t length) {
  if (length < 128) {
    out += static_cast<char>(length);
    return;
  }
  out += static_cast<char>(0x80 | ((length >> 24) & 0x7F));
  out += static_cast<char>((length >> 16) & 0xFF);
  out += static_cast<char>((length >> 8) & 0xFF);
  out += static_cast<char>(length & 0xFF);
}

// Reads exactly size bytes before the deadline; false at the end of the connection or timeout.
bool ReadExactly(int fd, std::size_t size, Clock::time_point deadline, std::string& out, std::string& error) {
  out.assign(size, '\0');
  std::size_t got = 0;
  while (got < size) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    pollfd readable{fd, POLLIN, 0};
    if (left <= 0 || poll(&readable, 1, static_cast<int>(left)) <= 0) {
      error = "timed out";
      return false;
    }
    const ssize_t n = recv(fd, out.data() + got, size - got, 0);
    if (n <= 0) {
      error = "connection closed before the end of the request";
      return false;
    }
    got += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

FastCgiConnection::FastCgiConnection(const std::string& address) : fd_(Connect(address)) {}

FastCgiConnection::~FastCgiConnection() {
  if (fd_ >= 0) close(fd_);
}

bool FastCgiConnection::SendRecord(uint8_t type, const std::string& content) {
  std::string record;
  record += static_cast<char>(kVersion);
  record += static_cast<char>(type);
  record += static_cast<char>(kRequestId >> 8);
  record += static_cast<char>(kRequestId & 0xFF);
  record += static_cast<char>(content.size() >> 8);
  record += static_cast<char>(content.size() & 0xFF);
  record += '\0';  // no padding
  record += '\0';
  return WriteAll(fd_, record + content);
}

bool FastCgiConnection::SendRequest(const std::vector<EnvironmentVariable>& parameters, const std::string& body,
                                    bool closeBody) {
  if (fd_ < 0) return false;
  const std::string begin{static_cast<char>(kResponderRole >> 8), static_cast<char>(kResponderRole & 0xFF),
                          static_cast<char>(keepOpen_ ? kKeepConnection : 0), 0, 0, 0, 0, 0};
  if (!SendRecord(kBeginRequest, begin)) return false;
  std::string pairs;
  for (const auto& [name, value] : parameters) {
    AppendLength(pairs, name.size());
    AppendLength(pairs, value.size());
    pairs += name + value;
  }
  for (std::size_t at = 0; at < pairs.size(); at += kMaxContent) {
    if (!SendRecord(kParams, pairs.substr(at, kMaxContent))) return false;
  }
  if (!SendRecord(kParams, "")) return false;
  for (std::size_t at = 0; at < body.size(); at += kMaxContent) {
    if (!SendRecord(kStdin, body.substr(at, kMaxContent))) return false;
  }
  return !closeBody || SendRecord(kStdin, "");
}

FastCgiResponse FastCgiConnection::ReadResponse(std::chrono::milliseconds timeout) {
  FastCgiResponse response;
  if (fd_ < 0) {
    response.error = "not connected";
    return response;
  }
  const auto deadline = Clock::now() + timeout;
  std::string header;
  std::string content;
  while (ReadExactly(fd_, kHeaderSize, deadline, header, response.error)) {
    const auto byte = [&](std::size_t at) { return static_cast<uint8_t>(header[at]); };
    const std::size_t length = static_cast<std::size_t>(byte(4) << 8 | byte(5));
    if (!ReadExactly(fd_, length + byte(6), deadline, content, response.error)) break;
    content.resize(length);
    if (byte(1) == kStdout) {
      response.output += content;
    } else if (byte(1) == kStderr) {
      response.errorOutput += content;
    } else if (byte(1) == kEndRequest && content.size() >= 5) {
      const auto at = [&](std::size_t i) { return static_cast<uint32_t>(static_cast<uint8_t>(content[i])); };
      response.appStatus = at(0) << 24 | at(1) << 16 | at(2) << 8 | at(3);
      response.protocolStatus = static_cast<int>(at(4));
      response.completed = true;
      break;
    }
  }
  return response;
}

FastCgiResponse SendFastCgiRequest(const std::string& address, const std::vector<EnvironmentVariable>& parameters,
                                   const std::string& body, std::chrono::milliseconds timeout) {
  FastCgiConnection connection(address);
  if (!connection.Connected()) {
    FastCgiResponse refused;
    refused.error = "cannot connect to " + address;
    return refused;
  }
  if (!connection.SendRequest(parameters, body)) {
    FastCgiResponse failed;
    failed.error = "the request could not be sent";
    return failed;
  }
  return connection.ReadResponse(timeout);
}

bool WaitForFastCgiSocket(const std::string& address, std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  while (Clock::now() < deadline) {
    if (FastCgiConnection(address).Connected()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}
