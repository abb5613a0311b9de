/* The floor for writing a benchmark file: the file's bytes, read into memory beforehand, written to
 * a new file in 8192-byte write(2) calls, timed from creating the file to closing it. What no
 * writer with an 8 KiB buffer can beat on the same machine.
 *   floor_copy INPUT OUTPUT
 * prints "floor_copy bytes=<n> write_s=<seconds>". */
#define _POSIX_C_SOURCE 200809L
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

static double now(void) {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return (double)t.tv_sec + (double)t.tv_nsec / 1e9;
}

static int write_all(int fd, const char* data, size_t size) {
  while (size > 0) {
    ssize_t written = write(fd, data, size);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return -1;
    data += written;
    size -= (size_t)written;
  }
  return 0;
}

int main(int argc, char** argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: %s INPUT OUTPUT\n", argv[0]);
    return 2;
  }
  int in = open(argv[1], O_RDONLY | O_CLOEXEC);
  struct stat status;
  if (in < 0 || fstat(in, &status) != 0) {
    perror(argv[1]);
    return 1;
  }
  size_t size = (size_t)status.st_size;
  char* bytes = malloc(size ? size : 1);
  size_t got = 0;
  while (bytes != NULL && got < size) {
    ssize_t n = read(in, bytes + got, size - got);
    if (n <= 0) break;
    got += (size_t)n;
  }
  close(in);
  if (bytes == NULL || got != size) {
    fprintf(stderr, "%s: cannot read %s\n", argv[0], argv[1]);
    return 1;
  }

  double start = now();
  int out = open(argv[2], O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (out < 0) {
    perror(argv[2]);
    return 1;
  }
  for (size_t at = 0; at < size; at += 8192) {
    size_t piece = size - at < 8192 ? size - at : 8192;
    if (write_all(out, bytes + at, piece) != 0) {
      perror(argv[2]);
      return 1;
    }
  }
  if (close(out) != 0) {
    perror(argv[2]);
    return 1;
  }
  double write_s = now() - start;
  printf("floor_copy bytes=%zu write_s=%.4f\n", size, write_s);
  return 0;
}
