/* The reference for a dump over TCP: two processes on the loopback, one sending packets of a
 * given size, the other answering each with one byte, the way a console streams a disc and the
 * client acknowledges every packet. Blocking sockets, TCP_NODELAY on both ends, nothing else.
 *
 *   pingpong PACKET_BYTES PACKETS     prints the seconds from the first packet to the last answer
 */
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

static int fail(const char* what) {
  perror(what);
  return 1;
}

static void no_delay(int fd) {
  int on = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

static int full(int fd, char* buffer, size_t count, int sending) {
  size_t done = 0;
  while (done < count) {
    ssize_t n = sending ? send(fd, buffer + done, count - done, 0)
                        : recv(fd, buffer + done, count - done, 0);
    if (n <= 0) return 0;
    done += (size_t)n;
  }
  return 1;
}

int main(int argc, char** argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: pingpong PACKET_BYTES PACKETS\n");
    return 2;
  }
  const size_t size = strtoul(argv[1], NULL, 10);
  const long packets = strtol(argv[2], NULL, 10);
  char* buffer = calloc(size, 1);
  if (buffer == NULL || size == 0) return fail("packet buffer");

  int listener = socket(AF_INET, SOCK_STREAM, 0);
  struct sockaddr_in address = {0};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (listener < 0 || bind(listener, (struct sockaddr*)&address, sizeof address) != 0 ||
      listen(listener, 1) != 0 || getsockname(listener, (struct sockaddr*)&address, &length) != 0)
    return fail("listen");

  const pid_t server = fork();
  if (server < 0) return fail("fork");
  if (server == 0) {
    int fd = accept(listener, NULL, NULL);
    if (fd < 0) return fail("accept");
    no_delay(fd);
    char answer;
    for (long i = 0; i < packets; ++i) {
      if (!full(fd, buffer, size, 1) || !full(fd, &answer, 1, 0)) return fail("server");
    }
    return 0;
  }
  close(listener);
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0 || connect(fd, (struct sockaddr*)&address, sizeof address) != 0)
    return fail("connect");
  no_delay(fd);
  struct timespec start, end;
  clock_gettime(CLOCK_MONOTONIC, &start);
  char answer = (char)0xAA;
  for (long i = 0; i < packets; ++i) {
    if (!full(fd, buffer, size, 0) || !full(fd, &answer, 1, 1)) return fail("client");
  }
  clock_gettime(CLOCK_MONOTONIC, &end);
  int status = 0;
  waitpid(server, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return 1;
  printf("%.6f\n", (double)(end.tv_sec - start.tv_sec) + (double)(end.tv_nsec - start.tv_nsec) / 1e9);
  return 0;
}
