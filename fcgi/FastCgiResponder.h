#pragma once

// One worker process: accepts FastCGI requests on the listening socket, one at a time, and
// serves each through the request handler of the CGI program. Returns when asked to stop
// (SIGTERM or SIGINT, after the request in flight is answered) or when the socket fails.
// A request running longer than requestTimeoutSeconds ends the process (SIGALRM).
int ServeFastCgiRequests(int listenSocket, int requestTimeoutSeconds);
