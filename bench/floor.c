/* The floor for one run: sample the clock, format one stamped line, append it to the
   file in one write, commit it and close. Nothing a memo recorder does can cost less. */
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  time_t now = time(NULL);
  struct tm local;
  localtime_r(&now, &local);
  char line[4096];
  size_t n = strftime(line, sizeof line, "[%Y/%m/%d %H:%M:%S] ", &local);
  int m = snprintf(line + n, sizeof line - n, "%s\r\n", argv[2]);
  if (m < 0 || (size_t)m >= sizeof line - n) return 1;
  int fd = open(argv[1], O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
  if (fd < 0) return 1;
  int ok = write(fd, line, n + (size_t)m) == (ssize_t)(n + (size_t)m) && fsync(fd) == 0;
  return close(fd) == 0 && ok ? 0 : 1;
}
