#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "support/CgiProcess.h"

// What a FastCGI responder sent back for one request.
struct FastCgiResponse {
  bool completed = false;     // the end-of-request record arrived
  uint32_t appStatus = 0;     // its application status: the CGI program's exit status
  int protocolStatus = -1;    // 0: request complete
  std::string output;         // every byte of the stdout stream
  std::string errorOutput;    // every byte of the stderr stream
  std::string error;          // why the request did not complete
};

// A test's own FastCGI client: one responder request on one connection, written record by
// record, so that a test can also stop half-way as a broken or hostile client would.
// address: "unix:PATH" or "HOST:PORT" (numeric IPv4).
class FastCgiConnection {
 public:
  explicit FastCgiConnection(const std::string& address);
  ~FastCgiConnection();
  FastCgiConnection(const FastCgiConnection&) = delete;
  FastCgiConnection& operator=(const FastCgiConnection&) = delete;

  bool Connected() const { return fd_ >= 0; }
  // Asks the responder to keep the connection open after each request, as a web server with
  // fastcgi_keep_conn does.
  void KeepOpen() { keepOpen_ = true; }
  // The begin-request and parameter records, then body bytes; closeBody ends the body stream.
  bool SendRequest(const std::vector<EnvironmentVariable>& parameters, const std::string& body, bool closeBody = true);
  // Reads records until the end of the request, the end of the connection or the timeout.
  FastCgiResponse ReadResponse(std::chrono::milliseconds timeout);

 private:
  bool SendRecord(uint8_t type, const std::string& content);
  int fd_ = -1;
  bool keepOpen_ = false;
};

// One complete request; a connection that fails shows in the response's error.
FastCgiResponse SendFastCgiRequest(const std::string& address, const std::vector<EnvironmentVariable>& parameters,
                                   const std::string& body = "",
                                   std::chrono::milliseconds timeout = std::chrono::seconds(20));

// True as soon as the address accepts a connection, polling until the timeout.
bool WaitForFastCgiSocket(const std::string& address, std::chrono::milliseconds timeout);
