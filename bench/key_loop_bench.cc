// Lines per second of the key loop and cost of naming a key for deletion.
// Standard output is sent to /dev/null while a benchmark runs, so the numbers
// are the loop's own, without a reader on the other end.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <memory>

#include "io/writer.h"
#include "random/generator.h"
#include "script/pass_writer.h"

namespace keyscript {
namespace {

// Output into /dev/null.
struct quiet_output {
  int fd = open("/dev/null", O_WRONLY);
  std::unique_ptr<output_writer> out = std::make_unique<output_writer>(fd);
  ~quiet_output() { close(fd); }
};

void key_loop(benchmark::State& state) {
  const quiet_output quiet;
  random_generator generator{12345};
  const auto keys = static_cast<std::int32_t>(state.range(0));
  for (auto _ : state) {
    benchmark::DoNotOptimize(write_keys(generator, keys, *quiet.out));
  }
  state.SetItemsProcessed(state.iterations() * keys);
}
BENCHMARK(key_loop)->Arg(1000)->Arg(1 << 20);

void deletion_lookup(benchmark::State& state) {
  const drawn_keys keys{12345, 50000000};
  std::int32_t index = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(key_at(keys, index));
    index = (index + 7919) % keys.count;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(deletion_lookup);

}  // namespace
}  // namespace keyscript

BENCHMARK_MAIN();
