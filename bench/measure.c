/* Runs one program and prints its wall time in milliseconds and its peak resident memory in KiB.
 *
 * A child's peak memory as the kernel reports it is at least that of the process it was forked
 * from, which the benchmark runner, holding big inputs, would make the floor of every row. This
 * launcher is small, so what it prints is the program's own.
 *
 *   bench_measure PROGRAM [ARG...]   (the program's output goes to /dev/null) */
#include <fcntl.h>
#include <stdio.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

static double nowMs(void) {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

int main(int argc, char** argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: %s PROGRAM [ARG...]\n", argv[0]);
    return 2;
  }
  const double start = nowMs();
  const pid_t pid = fork();
  if (pid < 0) return 125;
  if (pid == 0) {
    const int devnull = open("/dev/null", O_WRONLY);
    dup2(devnull, 1);
    dup2(devnull, 2);
    execv(argv[1], argv + 1);
    _exit(127);
  }
  int status = 0;
  struct rusage usage = {0};
  if (wait4(pid, &status, 0, &usage) != pid) return 125;
  const double end = nowMs();
  printf("%.6f %ld\n", end - start, usage.ru_maxrss);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 126;
}
