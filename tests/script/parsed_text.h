#pragma once

// A script's value from its text, for tests whose texts are well formed: a
// refusal fails the test that asked, at the line it names.

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "script/script_value.h"

namespace keyscript {

inline script parsed(const std::string& text) {
  parsed_script result = parse_script(text);
  EXPECT_FALSE(result.refused) << text << " line " << result.refused->line << ": " << result.refused->why;
  return std::move(result.value);
}

}  // namespace keyscript
