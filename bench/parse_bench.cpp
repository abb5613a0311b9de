// The syntax benchmark: writes N W1 annotation objects ("N 0 obj ... endobj") into memory, once
// as the serializer writes them and once spaced as other writers lay them out, then times
// reading every one back with parse_object_header and parse_indirect_body, and prints MB/s and
// ns per object for each layout.
//
//   parse_bench [--count N] [--rounds R] [--keep]
//
// By default each object is dropped once read (parsing and freeing are timed together); --keep
// keeps them all until the round ends, as reading into a Document does, and times the freeing
// apart. The best of R rounds is printed.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "reader/syntax.hpp"
#include "vantril/model/object.hpp"
#include "vantril/writer/counting_sink.hpp"
#include "vantril/writer/serializer.hpp"

namespace {

using namespace vantril;
using Clock = std::chrono::steady_clock;

Object annotation(long number) {
  const std::string label = "annot-" + std::to_string(number);
  return Dictionary::from_pairs({
      {"Type", Name("Annot")},
      {"Subtype", Name("Square")},
      {"Rect", make_array(10, 20, 110, 120)},
      {"P", ObjectId{2, 0}},
      {"C", make_array(0.5, 0.25, 1)},
      {"Border", make_array(0, 0, 1)},
      {"NM", literal_string(label)},
      {"F", 4},
  });
}

// The serializer's compact form of each object.
std::string compact_file(long count) {
  std::string text;
  CountingSink sink(text);
  for (long k = 0; k < count; ++k) {
    const long number = k + 3;
    text += std::to_string(number) + " 0 obj\n";
    if (!serialize_object(sink, annotation(number)).ok()) std::abort();
    text += "\nendobj\n";
  }
  return text;
}

// The same objects with a space around every token and keys sorted, as other writers lay
// them out.
std::string spaced_file(long count) {
  std::string text;
  for (long k = 0; k < count; ++k) {
    const long number = k + 3;
    text += std::to_string(number) +
            " 0 obj\n<< /Border [ 0 0 1 ] /C [ .5 .25 1 ] /F 4 /NM (annot-" +
            std::to_string(number) +
            ") /P 2 0 R /Rect [ 10 20 110 120 ] /Subtype /Square /Type /Annot >>\nendobj\n";
  }
  return text;
}

double seconds_between(Clock::time_point a, Clock::time_point b) {
  return std::chrono::duration<double>(b - a).count();
}

struct Timing {
  double parse_s = 1e30;
  double free_s = 0;
};

// Reads every object of `text`; fails loudly if any is not the expected dictionary.
Timing read_all(std::string_view text, long count, bool keep) {
  Timing timing;
  std::vector<Object> kept;
  if (keep) kept.reserve(static_cast<std::size_t>(count));
  const reader::SyntaxContext context;
  std::size_t position = 0;
  long read = 0;
  const Clock::time_point start = Clock::now();
  while (true) {
    const std::optional<reader::ObjectHeader> header = reader::parse_object_header(text, position);
    if (!header) break;
    Result<reader::IndirectBody> body = reader::parse_indirect_body(text, header->body, context);
    if (!body.ok() || body.value().value.dictionary() == nullptr ||
        body.value().value.dictionary()->len() != 8) {
      std::fprintf(stderr, "parse_bench: object %ld did not read back\n", read);
      std::exit(1);
    }
    position = body.value().end;
    if (keep) kept.push_back(std::move(body).value().value);
    ++read;
  }
  const Clock::time_point parsed = Clock::now();
  kept.clear();
  timing.parse_s = seconds_between(start, parsed);
  timing.free_s = seconds_between(parsed, Clock::now());
  if (read != count) {
    std::fprintf(stderr, "parse_bench: read %ld of %ld objects\n", read, count);
    std::exit(1);
  }
  return timing;
}

void run(const char* layout, const std::string& text, long count, int rounds, bool keep) {
  Timing best;
  for (int round = 0; round < rounds; ++round) {
    const Timing timing = read_all(text, count, keep);
    if (timing.parse_s < best.parse_s) best = timing;
  }
  const double mb = static_cast<double>(text.size()) / 1e6;
  std::printf(
      "parse layout=%s objects=%ld bytes=%zu parse_s=%.3f MB_per_s=%.0f ns_per_object=%.0f%s",
      layout, count, text.size(), best.parse_s, mb / best.parse_s,
      best.parse_s * 1e9 / static_cast<double>(count), keep ? "" : " (dropped as read)");
  if (keep) std::printf(" free_s=%.3f", best.free_s);
  std::printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
  long count = 1'000'000;
  int rounds = 3;
  bool keep = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view option = argv[i];
    if (option == "--count" && i + 1 < argc) {
      count = std::strtol(argv[++i], nullptr, 10);
    } else if (option == "--rounds" && i + 1 < argc) {
      rounds = static_cast<int>(std::strtol(argv[++i], nullptr, 10));
    } else if (option == "--keep") {
      keep = true;
    } else {
      std::fputs("usage: parse_bench [--count N] [--rounds R] [--keep]\n", stderr);
      return 2;
    }
  }
  if (count < 1 || rounds < 1) return 2;
  run("compact", compact_file(count), count, rounds, keep);
  run("spaced", spaced_file(count), count, rounds, keep);
  return 0;
}
