// The write benchmark: builds one synthetic workload in memory with the object model, saves it
// with save_to_path, and prints one result line in the format the peer benchmarks share:
//
//   write_bench W1|W2|W3 OUT.pdf [--count N] [--table] [--compact [--level L] [--per-stream P]]
//               [--streaming [--tokens]]
//
// W1: 1,000,000 small annotation dictionaries (N with --count); W2: 64 streams of 16 MiB of
// xorshift64 data; W3: 10,000 arrays of 100 integers interleaved with 100 names. Objects 1 and 2
// are the catalog and an empty page tree in every workload. --table writes a classic
// cross-reference table instead of a cross-reference stream. --compact compresses the streams
// that shrink (the W2 data does not, and stays raw), packs every other object into object
// streams and compresses the cross-reference stream; --level and --per-stream set the Flate level
// and the objects per object stream.
//
// --streaming writes through a StreamWriter instead of a Document: each object is built and
// written at once, so building and writing interleave. The line then says lib=vantril-streaming,
// build_s=0 and write_s for the two together, from creating the file to closing it (W2's data
// generation still left out). The file is the same, byte for byte, as the document path's.
// --streaming --compact hands the writer the compact save's options (lib=vantril-streaming-
// compact): the same objects, compressed and packed as they come; the layout differs from the
// document path's (its object streams sit where they fill), the content does not.
// --streaming --tokens describes the W1 and W3 objects token by token (begin_object and the
// ValueWriter) instead of building each as an Object (lib=vantril-streaming-tokens, with
// -compact after it for --compact); W2's streams are written whole either way. The file is the
// same, byte for byte, as without --tokens.
//
//   write_bench --read FILE [--lazy]
//
// --read times reading instead (the peers' read benchmarks' line, workload from $BENCH_WORKLOAD):
// the whole file into a Document with read_pdf_file, or with --lazy through a LazyReader, each
// object loaded once and dropped at once. Both count the objects in use, the object streams and
// cross-reference streams left out, and the streams among them with their raw data's bytes.
//
// A document built or read whole also reports, on stderr, the heap it holds per object ("held in
// memory: ... bytes per object"), where the C library can say (glibc).
#include <sys/resource.h>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <charconv>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>

#include "model/block_pool.hpp"
#include "runtime/allocation_count.hpp"
#include "vantril/error.hpp"
#include "vantril/model/document.hpp"
#include "vantril/model/object.hpp"
#include "vantril/reader.hpp"
#include "vantril/stream_writer.hpp"
#include "vantril/writer/save.hpp"
#include "vantril/writer/save_options.hpp"

namespace {

using namespace vantril;
using Clock = std::chrono::steady_clock;

constexpr long w1_default_count = 1000000;
constexpr int w2_streams = 64;
constexpr std::size_t w2_stream_bytes = std::size_t{16} * 1024 * 1024;
constexpr std::uint64_t w2_first_seed = 0x9E3779B97F4A7C15ULL;
constexpr long w3_arrays = 10000;
constexpr int w3_pairs = 100;

struct Options {
  std::string workload;
  std::string output;
  long count = w1_default_count;
  bool table = false;
  bool compact = false;
  SaveOptions save;
  bool streaming = false;
  bool tokens = false;
};

// The compact save's settings: the level and object-stream size that write W1 smaller than the
// peers' compact files at a fraction of their time (see the README's figures).
constexpr int compact_level = 3;
constexpr std::uint32_t compact_per_stream = 1000;

[[noreturn]] void usage(const char* program, std::string_view problem) {
  std::fprintf(stderr,
               "%s: %.*s\nusage: %s W1|W2|W3 OUT.pdf [--count N] [--table] [--compact "
               "[--level L] [--per-stream P]] [--streaming [--tokens]]\n       %s --read FILE "
               "[--lazy]\n",
               program, static_cast<int>(problem.size()), problem.data(), program, program);
  std::exit(2);
}

Options parse_options(int argc, char** argv) {
  Options options;
  int positional = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--table") {
      options.table = true;
    } else if (arg == "--compact") {
      options.compact = true;
    } else if (arg == "--level" || arg == "--per-stream") {
      if (i + 1 == argc) usage(argv[0], "--level and --per-stream need a value");
      const std::string_view text = argv[++i];
      long value = 0;
      const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
      if (error != std::errc() || end != text.data() + text.size() || value < 1 ||
          value > (arg == "--level" ? 12 : 65535)) {
        usage(argv[0], "--level takes 1 to 12, --per-stream 1 to 65535");
      }
      if (arg == "--level") {
        options.save.compression_level = static_cast<int>(value);
      } else {
        options.save.objects_per_stream = static_cast<std::uint32_t>(value);
      }
    } else if (arg == "--streaming") {
      options.streaming = true;
    } else if (arg == "--tokens") {
      options.tokens = true;
    } else if (arg == "--count") {
      if (i + 1 == argc) usage(argv[0], "--count needs a value");
      const std::string_view text = argv[++i];
      const auto [end, error] =
          std::from_chars(text.data(), text.data() + text.size(), options.count);
      if (error != std::errc() || end != text.data() + text.size() || options.count < 1 ||
          options.count > 4000000000L) {
        usage(argv[0], "--count needs a positive integer");
      }
    } else if (arg.starts_with("--")) {
      usage(argv[0], "unknown option");
    } else if (positional == 0) {
      options.workload = arg;
      ++positional;
    } else if (positional == 1) {
      options.output = arg;
      ++positional;
    } else {
      usage(argv[0], "too many arguments");
    }
  }
  if (positional != 2) usage(argv[0], "a workload and an output file are needed");
  if (options.compact && options.table) usage(argv[0], "--compact needs the stream form");
  if (options.tokens && !options.streaming) usage(argv[0], "--tokens goes with --streaming");
  if (options.compact) {
    if (options.save.compression_level == 0) options.save.compression_level = compact_level;
    if (options.save.objects_per_stream == SaveOptions{}.objects_per_stream) {
      options.save.objects_per_stream = compact_per_stream;
    }
    options.save.object_streams = true;
  } else if (options.save.compression_level != 0) {
    usage(argv[0], "--level and --per-stream go with --compact");
  }
  if (options.workload != "W1" && options.workload != "W2" && options.workload != "W3") {
    usage(argv[0], "the workload is W1, W2 or W3");
  }
  return options;
}

double seconds_between(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double>(to - from).count();
}

// xorshift64, eight bytes per step in the machine's byte order, the last step cut short.
void fill_xorshift(char* out, std::size_t size, std::uint64_t state) {
  auto step = [&state] {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return state;
  };
  std::size_t at = 0;
  for (; at + 8 <= size; at += 8) {
    const std::uint64_t value = step();
    std::memcpy(out + at, &value, 8);
  }
  if (at < size) {
    const std::uint64_t value = step();
    std::memcpy(out + at, &value, size - at);
  }
}

// "<prefix><number>" without going through general formatting.
template <std::size_t N>
std::string_view numbered(char (&scratch)[N], std::string_view prefix, long number) {
  std::memcpy(scratch, prefix.data(), prefix.size());
  const auto [end, error] = std::to_chars(scratch + prefix.size(), scratch + N, number);
  (void)error;
  return {scratch, static_cast<std::size_t>(end - scratch)};
}

Dictionary catalog_of(ObjectId pages) {
  return Dictionary::from_pairs({{"Type", Name("Catalog")}, {"Pages", pages}});
}

Dictionary empty_page_tree() {
  return Dictionary::from_pairs({{"Type", Name("Pages")}, {"Kids", Array()}, {"Count", 0}});
}

void add_catalog_and_pages(Document& document) {
  const ObjectId catalog = reserve_id(document);
  const ObjectId pages = reserve_id(document);
  put_object(document, catalog, catalog_of(pages));
  put_object(document, pages, empty_page_tree());
  document.trailer.set("Root", catalog);
}

// The workloads' objects, made one at a time for either path.
Object many_small_object(long number) {
  char scratch[32];
  return Dictionary::from_pairs({
      {"Type", Name("Annot")},
      {"Subtype", Name("Square")},
      {"Rect", make_array(10, 20, 110, 120)},
      {"P", ObjectId{2, 0}},
      {"C", make_array(0.5, 0.25, 1)},
      {"Border", make_array(0, 0, 1)},
      {"NM", literal_string(numbered(scratch, "annot-", number))},
      {"F", 4},
  });
}

// The i-th stream; adds the time spent generating its data to `generating`.
Object big_stream_object(int i, double& generating) {
  Bytes data(w2_stream_bytes, '\0');
  const Clock::time_point start = Clock::now();
  fill_xorshift(data.data(), data.size(), w2_first_seed + static_cast<std::uint64_t>(i));
  generating += seconds_between(start, Clock::now());
  return make_stream(Dictionary(), std::move(data));
}

// The same two objects described token by token.
void describe_many_small(ValueWriter& value, long number) {
  char scratch[32];
  value.begin_dictionary()
      .key("Type")
      .name("Annot")
      .key("Subtype")
      .name("Square")
      .key("Rect")
      .begin_array()
      .integer(10)
      .integer(20)
      .integer(110)
      .integer(120)
      .end_array()
      .key("P")
      .reference(ObjectId{2, 0})
      .key("C")
      .begin_array()
      .real(0.5f)
      .real(0.25f)
      .integer(1)
      .end_array()
      .key("Border")
      .begin_array()
      .integer(0)
      .integer(0)
      .integer(1)
      .end_array()
      .key("NM")
      .string(numbered(scratch, "annot-", number))
      .key("F")
      .integer(4)
      .end_dictionary();
}

void describe_deep_array(ValueWriter& value, long number) {
  char scratch[16];
  value.begin_array();
  for (int j = 0; j < w3_pairs; ++j) {
    value.integer(number * 100 + j).name(numbered(scratch, "N", j));
  }
  value.end_array();
}

Object deep_array_object(long number) {
  char scratch[16];
  Array array;
  array.reserve(2 * w3_pairs);
  for (int j = 0; j < w3_pairs; ++j) {
    array.emplace_back(number * 100 + j);
    array.emplace_back(Name(numbered(scratch, "N", j)));
  }
  return array;
}

void build_many_small(Document& document, long count) {
  for (long k = 0; k < count; ++k) {
    append_object(document, many_small_object(static_cast<long>(document.highest_number) + 1));
  }
}

// Returns the time spent generating the data, which build_s leaves out.
double build_big_streams(Document& document) {
  double generating = 0;
  for (int i = 0; i < w2_streams; ++i) append_object(document, big_stream_object(i, generating));
  return generating;
}

void build_deep_arrays(Document& document) {
  for (long k = 0; k < w3_arrays; ++k) {
    append_object(document, deep_array_object(static_cast<long>(document.highest_number) + 1));
  }
}

[[noreturn]] void fail(const char* program, const Options& options, const IoError& error) {
  std::fprintf(stderr, "%s: writing %s failed: %s\n", program, options.output.c_str(),
               display_form(error).c_str());
  std::exit(1);
}

void check(const char* program, const Options& options, const Status& status) {
  if (!status.ok()) fail(program, options, status.error());
}

// The workload through a StreamWriter, each object written as soon as it is made. Returns the
// number of objects written; adds W2's data generation time to `generating`.
std::size_t stream_workload(const char* program, const Options& options, double& generating) {
  Result<StreamWriter> opened = StreamWriter::create(
      options.output, "1.7", options.table ? XrefForm::XrefTableForm : XrefForm::XrefStreamForm,
      options.save);
  if (!opened.ok()) fail(program, options, opened.error());
  StreamWriter& writer = opened.value();
  const ObjectId catalog = writer.reserve_id();
  const ObjectId pages = writer.reserve_id();
  check(program, options, writer.write_object(catalog, catalog_of(pages)));
  check(program, options, writer.write_object(pages, empty_page_tree()));
  writer.trailer().set("Root", catalog);
  const auto write_next = [&](const Object& object) {
    Result<ObjectId> written = writer.append_object(object);
    if (!written.ok()) fail(program, options, written.error());
  };
  const auto describe_next = [&](auto describe) {
    check(program, options, writer.begin_object(writer.reserve_id()));
    describe(writer.object_value());
    check(program, options, writer.end_object());
  };
  // Each object is keyed with the number the document path gives it (the catalog and the pages
  // are 1 and 2): with object streams the writer's own numbers come in between.
  if (options.workload == "W1") {
    for (long k = 0; k < options.count; ++k) {
      if (options.tokens) {
        describe_next([k](ValueWriter& value) { describe_many_small(value, k + 3); });
      } else {
        write_next(many_small_object(k + 3));
      }
    }
  } else if (options.workload == "W2") {
    for (int i = 0; i < w2_streams; ++i) write_next(big_stream_object(i, generating));
  } else {
    for (long k = 0; k < w3_arrays; ++k) {
      if (options.tokens) {
        describe_next([k](ValueWriter& value) { describe_deep_array(value, k + 3); });
      } else {
        write_next(deep_array_object(k + 3));
      }
    }
  }
  const std::size_t objects = writer.highest_number();
  check(program, options, writer.close());
  // The cross-reference stream is an object too.
  return objects + (options.table ? 0 : 1);
}

// The heap's bytes in use, chunk overheads included, with the memory the model's block pool has
// mapped (all of it, blocks free or not), or 0 where the C library cannot tell.
std::uint64_t heap_in_use() {
#if defined(__GLIBC__)
  const struct mallinfo2 info = mallinfo2();
  return info.uordblks + info.hblkhd + vantril::detail::pool_figures().mapped_bytes;
#else
  return 0;
#endif
}

// What each object of a document costs in memory, on stderr: the heap taken while the document
// was built or read, divided by its objects.
void report_held(std::uint64_t before, std::size_t objects) {
  const std::uint64_t after = heap_in_use();
  if (after == 0 || objects == 0) return;
  std::fprintf(stderr, "held in memory: %.1f bytes per object (%zu objects)\n",
               static_cast<double>(after - before) / static_cast<double>(objects), objects);
}

long peak_rss_kb() {
  struct rusage usage {};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

const char* workload_label(const std::string& workload) {
  if (workload == "W1") return "many-small";
  if (workload == "W2") return "big-streams";
  return "deep-arrays";
}

}  // namespace

// One result line; the build is left out of a streaming run's line (it is inside write_s).
int report(const Options& options, const char* lib, std::size_t objects, double build_s,
           double write_s, double generating, const char* program) {
  std::error_code size_error;
  const std::uintmax_t bytes = std::filesystem::file_size(options.output, size_error);
  if (size_error) {
    std::fprintf(stderr, "%s: cannot read the size of %s: %s\n", program, options.output.c_str(),
                 size_error.message().c_str());
    return 1;
  }
  const double megabytes_per_second = write_s > 0 ? static_cast<double>(bytes) / 1e6 / write_s : 0;
  std::printf(
      "workload=%s lib=%s objects=%zu bytes=%ju build_s=%.4f write_s=%.4f write_MBps=%.1f "
      "peak_rss_kb=%ld",
      workload_label(options.workload), lib, objects, bytes, build_s, write_s, megabytes_per_second,
      peak_rss_kb());
  if (options.workload == "W2") std::printf(" gen_s=%.4f", generating);
  std::printf("\n");
  return std::fflush(stdout) != 0 ? 1 : 0;
}

namespace {

// What a read found: the objects in use (layout objects left out), the streams among them and
// their raw bytes.
struct ReadCounts {
  std::size_t objects = 0;
  std::size_t streams = 0;
  std::uint64_t stream_bytes = 0;
};

void count_object(ReadCounts& counts, const Object& object) {
  ++counts.objects;
  if (const Stream* stream = object.stream()) {
    ++counts.streams;
    counts.stream_bytes += stream->data.size();
  }
}

[[noreturn]] void read_failed(const char* program, const char* file, const IoError& error) {
  std::fprintf(stderr, "%s: reading %s failed: %s\n", program, file, display_form(error).c_str());
  std::_Exit(1);
}

// --read FILE [--lazy]: one result line in the read peers' format.
int read_benchmark(int argc, char** argv) {
  const char* program = argv[0];
  if (argc < 3 || argc > 4 || (argc == 4 && std::string_view(argv[3]) != "--lazy")) {
    std::fprintf(stderr, "%s: usage: %s --read FILE [--lazy]\n", program, program);
    return 2;
  }
  const char* file = argv[2];
  const bool lazy = argc == 4;
  ReadCounts counts;
  const std::uint64_t heap_before = heap_in_use();
  const Clock::time_point start = Clock::now();
  if (lazy) {
    Result<LazyReader> opened = LazyReader::open(file);
    if (!opened.ok()) read_failed(program, file, opened.error());
    LazyReader& reader = opened.value();
    for (const ObjectId id : reader.object_ids()) {
      Result<Object> object = reader.load(id);
      if (!object.ok()) read_failed(program, file, object.error());
      count_object(counts, object.value());
    }
  } else {
    Result<ReadFile> read = read_pdf_file(file);
    if (!read.ok()) read_failed(program, file, read.error());
    // Kept, never destroyed: the process ends without tearing the document down.
    const auto* kept = new ReadFile(std::move(read).value());
    for (const auto& entry : kept->document.object_table) count_object(counts, entry.second);
    report_held(heap_before, kept->document.object_table.size());
  }
  const double read_s = seconds_between(start, Clock::now());

  std::error_code size_error;
  const std::uintmax_t bytes = std::filesystem::file_size(file, size_error);
  if (size_error) {
    std::fprintf(stderr, "%s: cannot read the size of %s: %s\n", program, file,
                 size_error.message().c_str());
    return 1;
  }
  const char* workload = std::getenv("BENCH_WORKLOAD");
  std::printf(
      "workload=%s lib=%s objects=%zu bytes=%ju read_s=%.4f peak_rss_kb=%ld streams=%zu "
      "stream_bytes=%llu\n",
      workload != nullptr && *workload != '\0' ? workload : "file",
      lazy ? "vantril-lazy" : "vantril", counts.objects, bytes, read_s, peak_rss_kb(),
      counts.streams, static_cast<unsigned long long>(counts.stream_bytes));
  return std::fflush(stdout) != 0 ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  // Tearing down what was read is not part of the measurement either.
  if (argc >= 2 && std::string_view(argv[1]) == "--read") std::_Exit(read_benchmark(argc, argv));
  const Options options = parse_options(argc, argv);

  if (options.streaming) {
    double generating = 0;
    const Clock::time_point start = Clock::now();
    const std::size_t objects = stream_workload(argv[0], options, generating);
    const double write_s = seconds_between(start, Clock::now()) - generating;
    std::string lib = options.tokens ? "vantril-streaming-tokens" : "vantril-streaming";
    if (options.compact) lib += "-compact";
    if (options.table) lib += "-table";
    const int status = report(options, lib.c_str(), objects, 0, write_s, generating, argv[0]);
    std::_Exit(status);
  }

  const std::uint64_t heap_before = heap_in_use();
  const Clock::time_point build_start = Clock::now();
  Document document = create_versioned("1.7");
  add_catalog_and_pages(document);
  double generating = 0;
  if (options.workload == "W1") {
    build_many_small(document, options.count);
  } else if (options.workload == "W2") {
    generating = build_big_streams(document);
  } else {
    build_deep_arrays(document);
  }
  if (options.table) document.xref_state.xref_form = XrefForm::XrefTableForm;
  const Clock::time_point build_end = Clock::now();
  report_held(heap_before, document.object_table.size());
  const Clock::time_point write_start = Clock::now();

#if defined(VANTRIL_ALLOCATION_COUNTING)
  start_counting_allocations();
#endif
  {
    Result<OutputFile> saved = save_to_path(document, options.output, options.save);
    if (!saved.ok()) {
      std::fprintf(stderr, "%s: saving %s failed: %s\n", argv[0], options.output.c_str(),
                   display_form(saved.error()).c_str());
      return 1;
    }
  }  // the file is closed here
#if defined(VANTRIL_ALLOCATION_COUNTING)
  const AllocationCount allocations = stop_counting_allocations();
#endif
  const Clock::time_point write_end = Clock::now();

  const double build_s = seconds_between(build_start, build_end) - generating;
  const double write_s = seconds_between(write_start, write_end);
  // The objects in the file: the document's, and the cross-reference stream when there is one.
  // Compact: the object streams too, numbered below the cross-reference stream, the last.
  const std::size_t objects = options.compact
                                  ? document.highest_number
                                  : document.object_table.size() + (options.table ? 0 : 1);
  const char* lib = options.compact ? "vantril-compact"
                    : options.table ? "vantril-table"
                                    : "vantril";
  const int status = report(options, lib, objects, build_s, write_s, generating, argv[0]);
#if defined(VANTRIL_ALLOCATION_COUNTING)
  std::fprintf(stderr, "allocations while writing: %llu (%llu bytes)\n",
               static_cast<unsigned long long>(allocations.allocations),
               static_cast<unsigned long long>(allocations.bytes));
#endif
  // Tearing down millions of objects is not part of the measurement.
  std::_Exit(status);
}
