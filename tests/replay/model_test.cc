#include "replay/model.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace keyscript {
namespace {

struct step {
  std::vector<std::int32_t> block;  // keys inserted in one block
  std::vector<std::int32_t> deleted;
};

TEST(Model, SetAndMultisetFiguresAfterEachStep) {
  const std::vector<step> steps = {{{5, 7, 5, 32767, 0}, {}}, {{}, {5, 9}}, {{5, 5}, {5}}, {{}, {0, 32767, 7}}};
  const struct {
    semantics kind;
    std::vector<holding> after;
    replay_totals totals;
  } cases[] = {
      {semantics::set,
       {{4, 4, 0, 32767, 32779}, {3, 3, 0, 32767, 32774}, {3, 3, 0, 32767, 32774}, {0, 0, -1, -1, 0}},
       {7, 2, 6, 1}},  // the second block's first 5 finds it deleted
      {semantics::multiset,
       {{5, 4, 0, 32767, 32784}, {4, 4, 0, 32767, 32779}, {5, 4, 0, 32767, 32784}, {2, 1, 5, 5, 10}},
       {7, 3, 6, 1}},
  };
  for (const auto& c : cases) {
    const auto model = std::make_unique<key_model>(c.kind);
    for (std::size_t i = 0; i < steps.size(); ++i) {
      for (const std::int32_t key : steps[i].block) {
        model->insert(key);
      }
      model->close_block();
      for (const std::int32_t key : steps[i].deleted) {
        model->erase(key);
      }
      const holding now = model->now();
      const holding& want = c.after[i];
      EXPECT_EQ(now.held, want.held) << "step " << i;
      EXPECT_EQ(now.distinct, want.distinct) << "step " << i;
      EXPECT_EQ(now.min, want.min) << "step " << i;
      EXPECT_EQ(now.max, want.max) << "step " << i;
      EXPECT_EQ(now.sum, want.sum) << "step " << i;
    }
    EXPECT_EQ(model->totals().inserts, c.totals.inserts);
    EXPECT_EQ(model->totals().already_held, c.totals.already_held);
    EXPECT_EQ(model->totals().deletes, c.totals.deletes);
    EXPECT_EQ(model->totals().not_held, c.totals.not_held);
  }
}

TEST(Model, CountingWithoutListingAppliesTheSame) {
  // The same block, once counted with its keys listed and once without.
  std::vector<std::int32_t> block;
  block.reserve(100000);
  for (std::int32_t i = 0; i < 100000; ++i) {
    block.push_back((i * 7919) % 32768);
  }
  for (const semantics kind : {semantics::set, semantics::multiset}) {
    holding listed{};
    replay_totals listed_totals{};
    for (const bool unlisted : {false, true}) {
      const auto model = std::make_unique<key_model>(kind);
      model->insert(3);
      model->close_block();  // held before the block: counted as already held
      for (const std::int32_t key : block) {
        if (unlisted) {
          model->stop_listing();
          ++model->counter().counts[key];
        } else {
          model->insert(key);
        }
      }
      model->close_block();
      const holding now = model->now();
      if (!unlisted) {
        listed = now;
        listed_totals = model->totals();
        continue;
      }
      EXPECT_EQ(now.held, listed.held);
      EXPECT_EQ(now.distinct, listed.distinct);
      EXPECT_EQ(now.sum, listed.sum);
      EXPECT_EQ(now.min, listed.min);
      EXPECT_EQ(now.max, listed.max);
      EXPECT_EQ(model->totals().inserts, listed_totals.inserts);
      EXPECT_EQ(model->totals().already_held, listed_totals.already_held);
    }
  }
}

TEST(Model, HeldKeysComeInOrderWithTheirCopies) {
  const auto model = std::make_unique<key_model>(semantics::multiset);
  for (const std::int32_t key : {32767, 64, 63, 0, 64, 64, 4095, 4096}) {
    model->insert(key);
  }
  model->close_block();
  std::vector<std::pair<std::int32_t, std::uint64_t>> seen;
  model->for_each_held([&](std::int32_t key, std::uint64_t copies) { seen.emplace_back(key, copies); });
  const std::vector<std::pair<std::int32_t, std::uint64_t>> want = {{0, 1},    {63, 1},   {64, 3},
                                                                    {4095, 1}, {4096, 1}, {32767, 1}};
  EXPECT_EQ(seen, want);
  // The same keys, one after another from any key on.
  std::vector<std::int32_t> next;
  for (std::int32_t from : {-5, 0, 1, 64, 65, 4095, 4097, 32767}) {
    next.push_back(model->next_held(from));
  }
  EXPECT_EQ(next, (std::vector<std::int32_t>{0, 0, 63, 64, 4095, 4095, 32767, 32767}));
  EXPECT_EQ(model->next_held(32768), -1);
  model->erase(32767);
  EXPECT_EQ(model->next_held(4097), -1);
}

}  // namespace
}  // namespace keyscript
