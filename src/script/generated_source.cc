#include "script/generated_source.h"

#include <cstring>

#include "io/writer.h"

namespace keyscript {

namespace {

constexpr std::size_t PART = OUTPUT_CAPACITY;

}  // namespace

generated_source::generated_source() : buffer_(new char[line_span::READABLE_BEFORE + PART + OUTPUT_SLACK]) {
  std::memset(buffer_.get(), '\n', line_span::READABLE_BEFORE);
}

line_span generated_source::next() {
  char* start = buffer_.get() + line_span::READABLE_BEFORE;
  char* end = write_some(start, start + PART);
  return {start, static_cast<std::size_t>(end - start)};
}

}  // namespace keyscript
