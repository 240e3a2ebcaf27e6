#pragma once

#include <cstdint>

#include "expect/model.h"

// What keyscript-expect writes on standard output, in logfmt:
//   checkpoint=N line=L command=s held=H distinct=D min=A max=B sum=S
//   total lines=L inserts=I already_held=X deletes=R not_held=Y
// min and max are "none" when nothing is held.

namespace keyscript {

void write_checkpoint(std::uint64_t number, std::uint64_t line, char command, const holding& now);

// The keys held, in ascending order, one a line; a key held n times comes n
// times.
void write_held_keys(const key_model& model);

void write_totals(std::uint64_t lines, const replay_totals& totals);

}  // namespace keyscript
