// Random documents for round-trip and reader tests: every object kind, nested containers, names
// and strings over the whole byte range, gaps in object numbers and objects a save leaves out.
// The same generator runs from a seed (property tests) or from fuzz input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "vantril/model/document.hpp"

namespace vantril::testing_support {

// Where the generator's choices come from: a seeded pseudo-random sequence, or given bytes that
// read as zeros once used up (so every choice then takes its smallest option and generation ends).
class Entropy {
 public:
  static Entropy seeded(std::uint64_t seed);
  static Entropy from_bytes(std::span<const std::uint8_t> bytes);

  std::uint64_t next();
  // Uniform enough in 0..bound-1; 0 for a bound of 0.
  std::uint64_t below(std::uint64_t bound);
  bool chance(unsigned percent) { return below(100) < percent; }

 private:
  std::uint64_t state_ = 0;
  std::span<const std::uint8_t> bytes_;
  bool from_bytes_ = false;
};

struct GeneratorLimits {
  int depth = 4;             // containers inside the top-level value
  std::size_t elements = 6;  // per array or dictionary
  std::size_t bytes = 48;    // per name, key or string
  std::size_t stream_bytes = 300;
  std::uint32_t objects = 24;  // highest object number besides the page tree
  // Every reference names an object the saved file holds (stored before it, not left out, the
  // newest generation of its number), so the document is sound for check_document and for a
  // streaming writer's close.
  bool sound = false;
};

// Objects 1 to 3 are a catalog, a page tree and its one page, so readers accept the document; the
// trailer's "Root" names the catalog. Above them come random objects with gaps, sometimes a lower
// generation under the same number, and sometimes objects typed "XRef", "ObjStm" or "Linearized"
// that a save leaves out; sometimes objects stored above highest_number (and an object appended
// after them), and numbers reserved at the top but never stored. Streams only occur as indirect
// objects, where readers expect them.
// Every value is one a conforming reader can hold and the writer writes: names and keys have no
// NUL byte (no escape can carry one) and reals are finite, of any magnitude.
Document random_document(Entropy& entropy, const GeneratorLimits& limits = {});

}  // namespace vantril::testing_support
