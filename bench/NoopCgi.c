/* The floor of any CGI request: a static program that starts, writes the CGI header of a PNG
 * response and exits. */
#include <unistd.h>

int main(void) {
  static const char header[] = "Content-type: image/png\n\n";
  const ssize_t length = (ssize_t)(sizeof header - 1);
  return write(STDOUT_FILENO, header, (size_t)length) == length ? 0 : 1;
}
