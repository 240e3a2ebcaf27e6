#include "io/writer.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <string>
#include <vector>

#include "../capture.h"
#include "io/messages.h"

namespace keyscript {
namespace {

// One call of the scripted write: fail with `error`, or else accept up to
// `accept` bytes. Once the steps run out, every call accepts everything.
struct write_step {
  std::size_t accept;
  int error;
};

std::vector<write_step> steps;
std::size_t calls = 0;
std::string accepted;

std::ptrdiff_t scripted_write(int /*fd*/, const char* data, std::size_t size) {
  const write_step step = calls < steps.size() ? steps[calls] : write_step{size, 0};
  ++calls;
  if (step.error != 0) {
    errno = step.error;
    return -1;
  }
  const std::size_t taken = std::min(step.accept, size);
  accepted.append(data, taken);
  return static_cast<std::ptrdiff_t>(taken);
}

std::ptrdiff_t accepts_nothing(int /*fd*/, const char* /*data*/, std::size_t /*size*/) { return 0; }

TEST(Writer, WriteAllGoesOnUntilDoneOrFailed) {
  const std::string text = "i\n18467\n6334\n-1\n";
  const struct {
    const char* name;
    std::vector<write_step> steps;
    int result;
    std::size_t calls;
  } cases[] = {
      {"one write", {}, 0, 1},
      {"short writes", {{3, 0}, {1, 0}}, 0, 3},
      {"interrupted", {{0, EINTR}}, 0, 2},
      {"full non-blocking descriptor", {{0, EAGAIN}, {5, 0}, {0, EWOULDBLOCK}}, 0, 4},
      {"accepts nothing", {{0, 0}}, ENOSPC, 1},
      {"accepts nothing after a part", {{4, 0}, {0, 0}}, ENOSPC, 2},
      {"full disk", {{0, ENOSPC}}, ENOSPC, 1},
      {"reader gone while waiting", {{0, EAGAIN}, {0, EPIPE}}, EPIPE, 2},
  };
  // A pipe with room in it: waiting for it to be writable returns at once.
  int ends[2];
  ASSERT_EQ(pipe(ends), 0);
  for (const auto& c : cases) {
    steps = c.steps;
    calls = 0;
    accepted.clear();
    EXPECT_EQ(write_all(ends[1], text.data(), text.size(), scripted_write), c.result) << c.name;
    EXPECT_EQ(calls, c.calls) << c.name;
    if (c.result == 0) {
      EXPECT_EQ(accepted, text) << c.name;
    }
  }
  close(ends[0]);
  close(ends[1]);
}

TEST(Writer, FailedWriteOrCloseIsKeptAndLaterOutputDropped) {
  int ends[2];
  ASSERT_EQ(pipe(ends), 0);
  // The first write fails; a later one would succeed, but the run has
  // already lost bytes, so nothing more is handed over.
  steps = {{0, EIO}};
  calls = 0;
  accepted.clear();
  const auto failing = std::make_unique<output_writer>(ends[1], scripted_write);
  failing->write("s\nq\n");
  EXPECT_EQ(failing->flush(), EIO);
  failing->write(std::string(OUTPUT_CAPACITY * 2, 'k'));
  EXPECT_EQ(failing->flush(), EIO);
  EXPECT_EQ(accepted, "");
  // Nothing is accepted at all: that is a full disk.
  const auto full = std::make_unique<output_writer>(ends[1], accepts_nothing);
  full->write("s\nq\n");
  EXPECT_EQ(full->flush(), ENOSPC);
  // Every write is taken, but the close reports a failed write-back.
  steps.clear();
  const auto closing = std::make_unique<output_writer>(ends[0], scripted_write);
  closing->write("s\nq\n");
  EXPECT_EQ(closing->close(close_fails), EIO);
  EXPECT_EQ(accepted, "s\nq\n");
  close(ends[1]);
}

TEST(Writer, MessageOfAnyLengthIsWrittenWhole) {
  for (const std::size_t length : {0, 235, 236, 300, 100000}) {
    const std::string name(length, 'k');
    const captured result = capture_output([&](int /*out_fd*/, int err_fd) {
      message_stream messages{"keyscript", err_fd};
      say(messages, "Usage: %s <Num Keys>\n", name.c_str());
      complain(messages, "%s\n", name.c_str());
    });
    std::string want = "Usage: " + name;
    want += " <Num Keys>\nkeyscript: ";
    want += name;
    want += "\n";
    EXPECT_EQ(result.err, want) << length;
  }
}

}  // namespace
}  // namespace keyscript
