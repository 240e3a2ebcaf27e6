#include "cli/program.h"

#include <cstring>

#include "version.h"

namespace keyscript {

void write_version(output_writer& out, const char* program) {
  out.write(program);
  out.write(" " KEYSCRIPT_VERSION "\n");
}

int end_program(int status, output_writer& out, message_stream& messages, close_function close_fd,
                int failed_write_status) {
  const int error = out.close(close_fd);
  if (error != 0) {
    complain(messages, "write error: %s\n", std::strerror(error));
    return failed_write_status;
  }
  return status;
}

}  // namespace keyscript
