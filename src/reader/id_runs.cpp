// IdRuns: building the runs and looking an identifier up in them.
#include "vantril/id_runs.hpp"

#include <algorithm>
#include <limits>

namespace vantril {

IdRuns IdRuns::from_ascending(const std::vector<ObjectId>& ids) {
  IdRuns runs;
  for (const ObjectId id : ids) {
    if (!runs.push_back(id)) return IdRuns{};
  }
  return runs;
}

bool IdRuns::push_back(ObjectId id) {
  if (!runs_.empty()) {
    Run& last = runs_.back();
    const ObjectId last_id{static_cast<std::uint32_t>(last.first + (last.count - 1)),
                           last.generation};
    if (!(last_id < id)) return false;
    // A run of every number from 0 up is one short of holding the last: it starts a run of its
    // own rather than overflow the count.
    if (id.generation == last.generation && id.number == last_id.number + 1u &&
        last.count < std::numeric_limits<std::uint32_t>::max()) {
      ++last.count;
      ++size_;
      return true;
    }
  }
  runs_.push_back(Run{id.number, 1, id.generation});
  ++size_;
  return true;
}

bool IdRuns::contains(ObjectId id) const {
  // The first run starting after `id`: only the run before it can hold it.
  auto after = std::upper_bound(runs_.begin(), runs_.end(), id, [](ObjectId key, const Run& run) {
    return key < ObjectId{run.first, run.generation};
  });
  if (after == runs_.begin()) return false;
  const Run& run = *(after - 1);
  return run.generation == id.generation && id.number - run.first < run.count;
}

}  // namespace vantril
