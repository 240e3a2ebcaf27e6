// A program under test: a sorted list of chunks of at most 64 keys, every
// key of a chunk below every key of the next. A full chunk splits in two
// halves; a chunk that falls under 16 keys after a deletion is merged into
// the next one (and, when the two do not fit in one chunk, the keys are
// shared out between them again). Run under a name that ends in _merge_loses_key, the
// merge drops the last key of the chunk that fell under 16.
#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

#include "samples.h"
#include "script_io.h"

namespace keyscript::samples::chunked_list {
namespace {

enum class Bug : std::uint8_t { none, merge_loses_key };
constexpr const char* kBugNames[] = {"none", "merge_loses_key"};
Bug kBug = Bug::none;  // set from the name it runs under

constexpr std::size_t kChunkSize = 64;
constexpr std::size_t kFewest = 16;

struct Chunk {
  std::uint16_t* begin() { return keys.data(); }
  std::uint16_t* end() { return keys.data() + size; }
  const std::uint16_t* begin() const { return keys.data(); }
  const std::uint16_t* end() const { return keys.data() + size; }

  std::size_t size = 0;
  std::array<std::uint16_t, kChunkSize> keys{};
};

class ChunkedList {
 public:
  void Insert(std::uint16_t key) {
    // keyscript's keys repeat, so most insertions find their key held: the
    // bitmap answers those without a search through the chunks.
    if (held_.test(key)) return;
    held_.set(key);
    if (chunks_.empty()) chunks_.emplace_back();
    std::size_t at = ChunkFor(key);
    if (chunks_[at].size == kChunkSize) {
      Split(at);
      if (key > chunks_[at].keys[chunks_[at].size - 1]) ++at;
    }
    Chunk& chunk = chunks_[at];
    std::uint16_t* place = std::upper_bound(chunk.begin(), chunk.end(), key);
    std::copy_backward(place, chunk.end(), chunk.end() + 1);
    *place = key;
    ++chunk.size;
  }

  void Delete(std::uint16_t key) {
    if (chunks_.empty()) return;
    const std::size_t at = ChunkFor(key);
    Chunk& chunk = chunks_[at];
    std::uint16_t* place = std::lower_bound(chunk.begin(), chunk.end(), key);
    if (place == chunk.end() || *place != key) return;
    std::copy(place + 1, chunk.end(), place);
    --chunk.size;
    held_.reset(key);
    if (chunk.size < kFewest && at + 1 < chunks_.size()) {
      MergeIntoNext(at);
    } else if (chunk.size == 0) {
      chunks_.erase(chunks_.begin() + static_cast<std::ptrdiff_t>(at));
    }
  }

  void List(KeyWriter& out) const {
    for (const Chunk& chunk : chunks_) {
      for (const std::uint16_t key : chunk) out.Put(key);
    }
  }

 private:
  // The first chunk whose last key is not below KEY, or else the last one.
  std::size_t ChunkFor(std::uint16_t key) const {
    const auto found = std::partition_point(chunks_.begin(), chunks_.end() - 1,
                                            [key](const Chunk& chunk) { return chunk.keys[chunk.size - 1] < key; });
    return static_cast<std::size_t>(found - chunks_.begin());
  }

  void Split(std::size_t at) {
    Chunk upper;
    upper.size = kChunkSize / 2;
    std::copy(chunks_[at].begin() + kChunkSize / 2, chunks_[at].end(), upper.begin());
    chunks_[at].size = kChunkSize / 2;
    chunks_.insert(chunks_.begin() + static_cast<std::ptrdiff_t>(at) + 1, upper);
  }

  void MergeIntoNext(std::size_t at) {
    const Chunk& low = chunks_[at];
    Chunk& high = chunks_[at + 1];
    std::array<std::uint16_t, kFewest + kChunkSize> all{};
    const std::size_t kept = kBug == Bug::merge_loses_key && low.size > 0 ? low.size - 1 : low.size;
    std::uint16_t* const all_end = std::copy(high.begin(), high.end(), std::copy_n(low.begin(), kept, all.begin()));
    const auto total = static_cast<std::size_t>(all_end - all.begin());
    if (total <= kChunkSize) {
      high.size = total;
      std::copy(all.begin(), all_end, high.begin());
      chunks_.erase(chunks_.begin() + static_cast<std::ptrdiff_t>(at));
      return;
    }
    chunks_[at].size = total / 2;
    high.size = total - total / 2;
    std::copy_n(all.begin(), total / 2, chunks_[at].begin());
    std::copy(all.begin() + total / 2, all_end, high.begin());
  }

  std::vector<Chunk> chunks_;
  std::bitset<kKeyCount> held_;
};

}  // namespace

int Main(char** argv) {
  kBug = BugNamedBy<Bug>(argv[0], kBugNames);
  ChunkedList keys;
  KeyWriter out;
  return RunScript(keys, out);
}

}  // namespace keyscript::samples::chunked_list
