// A converter that keeps one processor busy for 200 ms of its own processor
// time and then ends with 0; its arguments are ignored. The jobs benchmark
// starts it once per page, from qprepare and from xargs alike.
#include <time.h>

namespace {

double ProcessorSeconds() {
  timespec now;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

}  // namespace

int main() {
  const double start = ProcessorSeconds();
  volatile unsigned long spin = 0;
  while (ProcessorSeconds() - start < 0.2) {
    for (int i = 0; i < 10000; ++i) spin = spin + static_cast<unsigned long>(i);
  }
  return 0;
}
