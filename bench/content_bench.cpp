// The content benchmark: a 1,000-page text document built with the content builder and the page
// helpers, against the same bytes formatted by hand into a std::string the way a program without
// the builder writes them (every operand through std::to_chars, the string's parentheses and
// backslashes escaped, then a stream made from the string), each built in memory and saved.
//
//   content_bench OUT_DIRECTORY [--runs N] [--pages N] [--only builder|hand]
//
// Every run builds and saves both documents, alternating which goes first, and checks that the
// two files are identical; the medians of the build, save and total times are printed.
#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "vantril/content.hpp"
#include "vantril/fonts.hpp"
#include "vantril/model.hpp"
#include "vantril/pages.hpp"
#include "vantril/writer.hpp"

namespace {

using namespace vantril;
using Clock = std::chrono::steady_clock;

constexpr int lines_per_page = 50;

// The text of one line, ASCII so that both ways agree on its bytes without an encoder, and with
// nothing a literal string must escape.
std::string line_text(int page, int line) {
  return "Item " + std::to_string(page * lines_per_page + line) + " on page " +
         std::to_string(page + 1) + ": delivery of goods, amount " +
         std::to_string((page * 7919 + line * 104729) % 100000) + ".00";
}

// Right-aligned at 523 by the line's measured width, so the coordinates have fractions.
double line_x(std::string_view text) { return 523 - text_width(StandardFont::Helvetica, text, 10); }
double line_y(int line) { return 780 - line * 14.4; }

Document start_document(PageTree& tree, ObjectId& font) {
  Document document = create_versioned("1.7");
  tree = add_page_tree(document);
  add_catalog(document, tree);
  font = append_object(document, font_dictionary(StandardFont::Helvetica));
  return document;
}

void add_text_page(Document& document, const PageTree& tree, ObjectId font, Stream content) {
  add_page(
      document, tree,
      Dictionary::from_pairs({
          {"MediaBox", page_box(595, 842)},
          {"Resources", Dictionary::from_pairs({{"Font", Dictionary::from_pairs({{"F1", font}})}})},
          {"Contents", append_object(document, std::move(content))},
      }));
}

Document with_builder(int pages) {
  PageTree tree;
  ObjectId font;
  Document document = start_document(tree, font);
  for (int page = 0; page < pages; ++page) {
    ContentBuilder content;
    content.begin_text().font("F1", 10);
    for (int line = 0; line < lines_per_page; ++line) {
      const std::string text = line_text(page, line);
      content.text_matrix(1, 0, 0, 1, line_x(text), line_y(line));
      content.show_text(StandardFont::Helvetica, text);
    }
    content.end_text();
    Result<Stream> stream = std::move(content).take_stream();
    if (!stream.ok()) std::abort();
    add_text_page(document, tree, font, std::move(stream).value());
  }
  return document;
}

void put_number(std::string& out, double value) {
  char digits[64];
  const auto result = std::to_chars(digits, digits + sizeof digits, static_cast<float>(value));
  out.append(digits, result.ptr);
  out.push_back(' ');
}

Document by_hand(int pages) {
  PageTree tree;
  ObjectId font;
  Document document = start_document(tree, font);
  for (int page = 0; page < pages; ++page) {
    std::string content = "BT\n/F1 10 Tf\n";
    for (int line = 0; line < lines_per_page; ++line) {
      const std::string text = line_text(page, line);
      for (const double number : {1.0, 0.0, 0.0, 1.0, line_x(text), line_y(line)}) {
        put_number(content, number);
      }
      content += "Tm\n(";
      // What a literal string must escape; the text is ASCII, so it is its own WinAnsi encoding.
      for (const char c : text) {
        if (c == '(' || c == ')' || c == '\\') content.push_back('\\');
        content.push_back(c);
      }
      content += ") Tj\n";
    }
    content += "ET\n";
    add_text_page(document, tree, font, make_stream(Dictionary(), Bytes(content)));
  }
  return document;
}

struct Timing {
  double build_ms;
  double save_ms;
};

double ms_since(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

Timing run_once(Document (*build)(int), int pages, const std::string& path) {
  const auto start = Clock::now();
  Document document = build(pages);
  const double build_ms = ms_since(start);
  const auto save_start = Clock::now();
  {
    const Result<OutputFile> saved = save_to_path(document, path);
    if (!saved.ok()) {
      std::fprintf(stderr, "content_bench: cannot save %s: %s\n", path.c_str(),
                   display_form(saved.error()).c_str());
      std::exit(1);
    }
  }
  return {build_ms, ms_since(save_start)};
}

std::string file_bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

void report(const char* name, const std::vector<Timing>& timings) {
  std::vector<double> build;
  std::vector<double> save;
  std::vector<double> total;
  for (const Timing& t : timings) {
    build.push_back(t.build_ms);
    save.push_back(t.save_ms);
    total.push_back(t.build_ms + t.save_ms);
  }
  std::printf("%-8s build %8.2f ms   save %8.2f ms   total %8.2f ms   (medians of %zu runs)\n",
              name, median(build), median(save), median(total), timings.size());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s OUT_DIRECTORY [--runs N] [--pages N]\n", argv[0]);
    return 2;
  }
  const std::string directory = argv[1];
  int runs = 9;
  int pages = 1000;
  std::string_view only;
  for (int i = 2; i + 1 < argc; i += 2) {
    const std::string_view option = argv[i];
    if (option == "--runs") runs = std::atoi(argv[i + 1]);
    if (option == "--pages") pages = std::atoi(argv[i + 1]);
    if (option == "--only") only = argv[i + 1];
  }
  const std::string builder_path = directory + "/content_builder.pdf";
  const std::string hand_path = directory + "/content_by_hand.pdf";
  std::vector<Timing> builder_times;
  std::vector<Timing> hand_times;
  for (int run = 0; run < runs && !only.empty(); ++run) {
    if (only == "builder") builder_times.push_back(run_once(with_builder, pages, builder_path));
    if (only == "hand") hand_times.push_back(run_once(by_hand, pages, hand_path));
  }
  if (!only.empty()) {
    report(only == "builder" ? "builder" : "by hand",
           only == "builder" ? builder_times : hand_times);
    return 0;
  }
  for (int run = 0; run < runs; ++run) {
    if (run % 2 == 0) {
      builder_times.push_back(run_once(with_builder, pages, builder_path));
      hand_times.push_back(run_once(by_hand, pages, hand_path));
    } else {
      hand_times.push_back(run_once(by_hand, pages, hand_path));
      builder_times.push_back(run_once(with_builder, pages, builder_path));
    }
  }
  const std::string a = file_bytes(builder_path);
  if (a != file_bytes(hand_path)) {
    std::fprintf(stderr, "content_bench: the two files differ\n");
    return 1;
  }
  std::printf("%d pages of %d lines, %zu bytes each file\n", pages, lines_per_page, a.size());
  report("builder", builder_times);
  report("by hand", hand_times);
  return 0;
}
