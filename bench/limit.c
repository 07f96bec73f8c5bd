/* The limit: each exchange of the benchmarks made with raw bytes and nothing more. The fixed
 * request is written, and the reply read until it is complete; nothing is parsed, checked or
 * built. No client can make the same exchange with less work, so every client's figure is
 * shown as a ratio to this one.
 *
 *   bench_limit realtime HOST CYCLES WARMUP   "servo_j" exchanges in servo mode, as the
 *                                             realtime loop makes them
 *   bench_limit get_data HOST COUNT WARMUP    "get_data" exchanges
 *
 * Prints one line of JSON, {"samples_ns": [...]}, as bench_floor does: for "realtime" the
 * time from the start of one cycle to the next, for "get_data" the time of each exchange.
 * A trailing argument "quiet" prints {} instead (for counting instructions).
 *
 * A reply is complete when the last byte read closes the top-level object: the simulator's
 * replies are objects whose only nested values are arrays, so the depth of braces alone
 * tells, and a reply that arrives whole is recognised by its last byte.
 */
#define _GNU_SOURCE
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

enum { kPort = 10001, kBuffer = 1 << 16 };

static char reply[kBuffer];

static int64_t now_ns(void) {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return (int64_t)t.tv_sec * 1000000000 + t.tv_nsec;
}

static void fail(const char* what) {
  perror(what);
  exit(1);
}

/* One exchange; the reply stays in `reply`. Returns its length. */
static size_t exchange(int fd, const char* request, size_t size) {
  if (send(fd, request, size, MSG_NOSIGNAL) != (ssize_t)size) fail("bench_limit: send");
  size_t used = 0;
  int depth = 0;
  for (;;) {
    const ssize_t got = recv(fd, reply + used, sizeof reply - used, 0);
    if (got <= 0) fail("bench_limit: recv");
    const size_t end = used + (size_t)got;
    if (reply[end - 1] == '}' && used == 0 && reply[0] == '{') {
      /* The usual case: the whole reply in one read. A '}' inside a string could fool this
       * only in a reply the simulator does not send. */
      return end;
    }
    for (size_t i = used; i < end; ++i) depth += (reply[i] == '{') - (reply[i] == '}');
    used = end;
    if (depth == 0 && reply[used - 1] == '}') return used;
    if (used == sizeof reply) {
      fputs("bench_limit: reply too long\n", stderr);
      exit(1);
    }
  }
}

static void expect_ok(int fd, const char* request) {
  const size_t size = exchange(fd, request, strlen(request));
  if (size < 16 || memcmp(reply, "{\"errorCode\":\"0\"", 16) != 0) {
    fprintf(stderr, "bench_limit: %s refused: %.*s\n", request, (int)size, reply);
    exit(1);
  }
}

static void print_samples(const int64_t* samples, size_t count, int quiet) {
  if (quiet) {
    puts("{}");
    return;
  }
  fputs("{\"samples_ns\": [", stdout);
  for (size_t i = 0; i < count; ++i) printf(i == 0 ? "%lld" : ",%lld", (long long)samples[i]);
  puts("]}");
}

int main(int argc, char** argv) {
  if (argc != 5 && argc != 6) {
    fputs("usage: bench_limit realtime|get_data HOST COUNT WARMUP [quiet]\n", stderr);
    return 2;
  }
  const int realtime = strcmp(argv[1], "realtime") == 0;
  if (!realtime && strcmp(argv[1], "get_data") != 0) {
    fprintf(stderr, "bench_limit: unknown mode %s\n", argv[1]);
    return 2;
  }
  const size_t count = strtoull(argv[3], NULL, 10);
  const size_t warmup = strtoull(argv[4], NULL, 10);
  const int quiet = argc == 6 && strcmp(argv[5], "quiet") == 0;

  struct sockaddr_in address = {.sin_family = AF_INET, .sin_port = htons(kPort)};
  if (inet_pton(AF_INET, argv[2], &address.sin_addr) != 1) {
    fprintf(stderr, "bench_limit: not an IPv4 address: %s\n", argv[2]);
    return 2;
  }
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0 || connect(fd, (struct sockaddr*)&address, sizeof address) != 0) fail("bench_limit: connect");

  /* The same bytes the library writes for these exchanges. */
  static const char servo_j[] = "{\"cmdName\":\"servo_j\",\"jointPosition\":[0.0,0.0,0.0,0.0,0.0,0.0],\"relFlag\":0}";
  static const char get_data[] = "{\"cmdName\":\"get_data\"}";
  const char* request = realtime ? servo_j : get_data;
  const size_t size = realtime ? sizeof servo_j - 1 : sizeof get_data - 1;

  if (realtime) {
    expect_ok(fd, "{\"cmdName\":\"power_on\"}");
    expect_ok(fd, "{\"cmdName\":\"enable_robot\"}");
    expect_ok(fd, "{\"cmdName\":\"servo_move\",\"relFlag\":1}");
  }
  int64_t* samples = malloc((count + 1) * sizeof *samples);
  if (samples == NULL) fail("bench_limit: malloc");
  for (size_t i = 0; i < warmup; ++i) exchange(fd, request, size);
  if (realtime) {
    /* As in the other clients' loops: a sample runs from one cycle's start to the next. */
    int64_t last = now_ns();
    for (size_t i = 0; i < count; ++i) {
      exchange(fd, request, size);
      const int64_t t = now_ns();
      samples[i] = t - last;
      last = t;
    }
    expect_ok(fd, "{\"cmdName\":\"servo_move\",\"relFlag\":0}");
  } else {
    for (size_t i = 0; i < count; ++i) {
      const int64_t start = now_ns();
      exchange(fd, request, size);
      samples[i] = now_ns() - start;
    }
  }
  print_samples(samples, count, quiet);
  free(samples);
  close(fd);
  return 0;
}
