/* The floor of any FastCGI request: a responder on libfcgi that answers every request with the
 * CGI header of a PNG response and nothing else. Like korvex.fcgi it runs a number of processes
 * that accept, one request at a time each, on one socket, so that the difference between the
 * two is the request handler's work alone.
 *
 * Usage: noop.fcgi unix:PATH|HOST:PORT [PROCESSES]   (default: one per core)
 * SIGTERM or SIGINT to the parent ends every process. */
#include <fcgiapp.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

enum { kMaxProcesses = 64 };

static int Serve(int socket) {
  static const char header[] = "Content-type: image/png\n\n";
  FCGX_Request request;
  if (FCGX_InitRequest(&request, socket, 0) != 0) {
    return 1;
  }
  while (FCGX_Accept_r(&request) >= 0) {
    FCGX_PutStr(header, (int)(sizeof header - 1), request.out);
    FCGX_Finish_r(&request);
  }
  return 0;
}

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) {
    fprintf(stderr, "usage: %s unix:PATH|HOST:PORT [PROCESSES]\n", argv[0]);
    return 2;
  }
  long processes = sysconf(_SC_NPROCESSORS_ONLN);
  if (argc == 3) {
    processes = strtol(argv[2], NULL, 10);
  }
  if (processes < 1 || processes > kMaxProcesses) {
    fprintf(stderr, "noop.fcgi: between 1 and %d processes\n", kMaxProcesses);
    return 2;
  }
  const char* address = argv[1];
  const char* path = strncmp(address, "unix:", 5) == 0 ? address + 5 : NULL;
  if (path != NULL) {
    unlink(path);
  }
  if (FCGX_Init() != 0) {
    return 3;
  }
  const int socket = FCGX_OpenSocket(path != NULL ? path : address, 1024);
  if (socket < 0) {
    fprintf(stderr, "noop.fcgi: cannot listen on %s\n", address);
    return 3;
  }

  /* The stop signals are held until the parent waits for them, so none is lost. */
  sigset_t stop;
  sigemptyset(&stop);
  sigaddset(&stop, SIGTERM);
  sigaddset(&stop, SIGINT);
  sigprocmask(SIG_BLOCK, &stop, NULL);
  pid_t children[kMaxProcesses];
  const pid_t parent = getpid();
  for (long i = 0; i < processes; ++i) {
    children[i] = fork();
    if (children[i] == 0) {
      /* A responder never outlives its parent, however that ends. */
      prctl(PR_SET_PDEATHSIG, SIGTERM);
      if (getppid() != parent) {
        _exit(0);
      }
      sigprocmask(SIG_UNBLOCK, &stop, NULL);
      _exit(Serve(socket));
    }
    if (children[i] < 0) {
      perror("noop.fcgi: fork");
      processes = i;
      break;
    }
  }
  int signal = 0;
  sigwait(&stop, &signal);
  for (long i = 0; i < processes; ++i) {
    kill(children[i], SIGTERM);
  }
  while (wait(NULL) > 0) {
  }
  if (path != NULL) {
    unlink(path);
  }
  return 0;
}
