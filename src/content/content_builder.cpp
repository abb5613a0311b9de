// The content-stream builder: operators and their operands appended to one growing buffer, which
// becomes the stream's data by move.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <string>

#include "content/content_balance.hpp"
#include "runtime/invalid_input.hpp"
#include "vantril/content.hpp"
#include "vantril/writer/counting_sink.hpp"
#include "vantril/writer/serializer.hpp"
#include "writer/emit_value.hpp"
#include "writer/number_text.hpp"

namespace vantril {

namespace {

// Six numbers (cm, Tm, c) with their spaces, and the operator with its line feed.
constexpr std::size_t max_operator_line = 6 * (max_real_text + 1) + 8;

}  // namespace

namespace {

Status append_to_bytes(void* context, std::string_view bytes) {
  static_cast<Bytes*>(context)->append(bytes);
  return {};
}

}  // namespace

void ContentBuilder::fail(IoError error) { error_ = std::move(error); }

bool ContentBuilder::start(std::string_view) {
  if (error_) return false;
  ++operator_count_;
  return true;
}

bool ContentBuilder::put_number(char*& out, double value, std::string_view op) {
  // Checked on the double: converting one beyond the float range is undefined.
  if (!std::isfinite(value) || std::fabs(value) > std::numeric_limits<float>::max()) {
    fail(invalid_input("content stream operator " + std::to_string(operator_count_) + " (\"" +
                       std::string(op) +
                       "\"): an operand is not a finite number within the range of a PDF real"));
    return false;
  }
  out = put_real(out, static_cast<float>(value));
  *out++ = ' ';
  return true;
}

void ContentBuilder::append_name(std::string_view name) {
  CountingSink sink(CallbackDestination{append_to_bytes, &buffer_});
  detail::Emitter emitter(sink);
  // Appending to memory cannot fail; a content stream's names escape a NUL byte like any other.
  (void)emit_name(emitter, name, nullptr);
}

void ContentBuilder::append_string(std::string_view codes) {
  CountingSink sink(CallbackDestination{append_to_bytes, &buffer_});
  detail::Emitter emitter(sink);
  (void)emit_string(emitter, codes, StringStyle::Literal);
}

ContentBuilder& ContentBuilder::numbers_operator(std::span<const double> numbers,
                                                 std::string_view op) {
  if (!start(op)) return *this;
  char line[max_operator_line];
  char* out = line;
  for (const double number : numbers) {
    if (!put_number(out, number, op)) return *this;
  }
  for (const char c : op) *out++ = c;
  *out++ = '\n';
  buffer_.append(std::string_view(line, static_cast<std::size_t>(out - line)));
  return *this;
}

ContentBuilder& ContentBuilder::integer_operator(int value, std::string_view op) {
  if (!start(op)) return *this;
  char line[32];
  char* out = put_integer(line, value);
  *out++ = ' ';
  for (const char c : op) *out++ = c;
  *out++ = '\n';
  buffer_.append(std::string_view(line, static_cast<std::size_t>(out - line)));
  return *this;
}

ContentBuilder& ContentBuilder::plain_operator(std::string_view op) {
  if (!start(op)) return *this;
  char line[8];
  char* out = line;
  for (const char c : op) *out++ = c;
  *out++ = '\n';
  buffer_.append(std::string_view(line, static_cast<std::size_t>(out - line)));
  return *this;
}

ContentBuilder& ContentBuilder::name_operator(std::string_view name, std::string_view op) {
  if (!start(op)) return *this;
  append_name(name);
  buffer_.push_back(' ');
  buffer_.append(op);
  buffer_.push_back('\n');
  return *this;
}

void ContentBuilder::track_balance(std::string_view op) {
  // After an error nothing is written, and after the first break nothing more is judged.
  if (error_ || unbalanced_at_ != 0) return;
  ContentBalance balance{saved_states_, in_text_};
  if (const std::optional<std::string_view> fault = apply_operator(balance, op)) {
    unbalanced_at_ = operator_count_;
    unbalanced_op_ = op;
    unbalanced_reason_ = *fault;
    return;
  }
  saved_states_ = balance.saved;
  in_text_ = balance.in_text;
}

ContentBuilder& ContentBuilder::save_state() {
  plain_operator("q");
  track_balance("q");
  return *this;
}
ContentBuilder& ContentBuilder::restore_state() {
  plain_operator("Q");
  track_balance("Q");
  return *this;
}
ContentBuilder& ContentBuilder::transform(double a, double b, double c, double d, double e,
                                          double f) {
  const double numbers[] = {a, b, c, d, e, f};
  return numbers_operator(numbers, "cm");
}
ContentBuilder& ContentBuilder::line_width(double width) {
  return numbers_operator({&width, 1}, "w");
}
ContentBuilder& ContentBuilder::line_cap(LineCap cap) {
  return integer_operator(static_cast<int>(cap), "J");
}
ContentBuilder& ContentBuilder::line_join(LineJoin join) {
  return integer_operator(static_cast<int>(join), "j");
}
ContentBuilder& ContentBuilder::miter_limit(double limit) {
  return numbers_operator({&limit, 1}, "M");
}

ContentBuilder& ContentBuilder::dash(std::span<const double> pattern, double phase) {
  if (!start("d")) return *this;
  char number[max_real_text + 1];
  buffer_.push_back('[');
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    char* out = number;
    if (!put_number(out, pattern[i], "d")) return *this;
    // The space after the last element is not wanted before "]".
    const std::size_t keep =
        static_cast<std::size_t>(out - number) - (i + 1 == pattern.size() ? 1 : 0);
    buffer_.append(std::string_view(number, keep));
  }
  buffer_.append("] ");
  char* out = number;
  if (!put_number(out, phase, "d")) return *this;
  buffer_.append(std::string_view(number, static_cast<std::size_t>(out - number)));
  buffer_.append("d\n");
  return *this;
}
ContentBuilder& ContentBuilder::dash(std::initializer_list<double> pattern, double phase) {
  return dash(std::span<const double>(pattern.begin(), pattern.size()), phase);
}
ContentBuilder& ContentBuilder::graphics_state(std::string_view resource_name) {
  return name_operator(resource_name, "gs");
}

ContentBuilder& ContentBuilder::move_to(double x, double y) {
  const double numbers[] = {x, y};
  return numbers_operator(numbers, "m");
}
ContentBuilder& ContentBuilder::line_to(double x, double y) {
  const double numbers[] = {x, y};
  return numbers_operator(numbers, "l");
}
ContentBuilder& ContentBuilder::curve_to(double x1, double y1, double x2, double y2, double x3,
                                         double y3) {
  const double numbers[] = {x1, y1, x2, y2, x3, y3};
  return numbers_operator(numbers, "c");
}
ContentBuilder& ContentBuilder::curve_to_v(double x2, double y2, double x3, double y3) {
  const double numbers[] = {x2, y2, x3, y3};
  return numbers_operator(numbers, "v");
}
ContentBuilder& ContentBuilder::curve_to_y(double x1, double y1, double x3, double y3) {
  const double numbers[] = {x1, y1, x3, y3};
  return numbers_operator(numbers, "y");
}
ContentBuilder& ContentBuilder::rectangle(double x, double y, double width, double height) {
  const double numbers[] = {x, y, width, height};
  return numbers_operator(numbers, "re");
}
ContentBuilder& ContentBuilder::close_path() { return plain_operator("h"); }

ContentBuilder& ContentBuilder::stroke() { return plain_operator("S"); }
ContentBuilder& ContentBuilder::close_and_stroke() { return plain_operator("s"); }
ContentBuilder& ContentBuilder::fill() { return plain_operator("f"); }
ContentBuilder& ContentBuilder::fill_even_odd() { return plain_operator("f*"); }
ContentBuilder& ContentBuilder::fill_and_stroke() { return plain_operator("B"); }
ContentBuilder& ContentBuilder::fill_and_stroke_even_odd() { return plain_operator("B*"); }
ContentBuilder& ContentBuilder::close_fill_and_stroke() { return plain_operator("b"); }
ContentBuilder& ContentBuilder::close_fill_and_stroke_even_odd() { return plain_operator("b*"); }
ContentBuilder& ContentBuilder::end_path() { return plain_operator("n"); }
ContentBuilder& ContentBuilder::clip() { return plain_operator("W"); }
ContentBuilder& ContentBuilder::clip_even_odd() { return plain_operator("W*"); }

ContentBuilder& ContentBuilder::fill_gray(double gray) { return numbers_operator({&gray, 1}, "g"); }
ContentBuilder& ContentBuilder::stroke_gray(double gray) {
  return numbers_operator({&gray, 1}, "G");
}
ContentBuilder& ContentBuilder::fill_rgb(double r, double g, double b) {
  const double numbers[] = {r, g, b};
  return numbers_operator(numbers, "rg");
}
ContentBuilder& ContentBuilder::stroke_rgb(double r, double g, double b) {
  const double numbers[] = {r, g, b};
  return numbers_operator(numbers, "RG");
}
ContentBuilder& ContentBuilder::fill_cmyk(double c, double m, double y, double k) {
  const double numbers[] = {c, m, y, k};
  return numbers_operator(numbers, "k");
}
ContentBuilder& ContentBuilder::stroke_cmyk(double c, double m, double y, double k) {
  const double numbers[] = {c, m, y, k};
  return numbers_operator(numbers, "K");
}
ContentBuilder& ContentBuilder::fill_color_space(std::string_view name) {
  return name_operator(name, "cs");
}
ContentBuilder& ContentBuilder::stroke_color_space(std::string_view name) {
  return name_operator(name, "CS");
}

ContentBuilder& ContentBuilder::components_operator(std::span<const double> numbers,
                                                    std::optional<std::string_view> name,
                                                    std::string_view op) {
  if (!start(op)) return *this;
  // Appended one at a time: a colour space may have any number of components.
  char number[max_real_text + 1];
  for (const double value : numbers) {
    char* out = number;
    if (!put_number(out, value, op)) return *this;
    buffer_.append(std::string_view(number, static_cast<std::size_t>(out - number)));
  }
  if (name) {
    append_name(*name);
    buffer_.push_back(' ');
  }
  buffer_.append(op);
  buffer_.push_back('\n');
  return *this;
}

ContentBuilder& ContentBuilder::fill_color(std::span<const double> components) {
  return components_operator(components, std::nullopt, "sc");
}
ContentBuilder& ContentBuilder::stroke_color(std::span<const double> components) {
  return components_operator(components, std::nullopt, "SC");
}
ContentBuilder& ContentBuilder::fill_color_n(std::span<const double> components,
                                             std::optional<std::string_view> pattern) {
  return components_operator(components, pattern, "scn");
}
ContentBuilder& ContentBuilder::stroke_color_n(std::span<const double> components,
                                               std::optional<std::string_view> pattern) {
  return components_operator(components, pattern, "SCN");
}

ContentBuilder& ContentBuilder::begin_text() {
  plain_operator("BT");
  track_balance("BT");
  return *this;
}
ContentBuilder& ContentBuilder::end_text() {
  plain_operator("ET");
  track_balance("ET");
  return *this;
}
ContentBuilder& ContentBuilder::font(std::string_view resource_name, double size) {
  if (!start("Tf")) return *this;
  char number[max_real_text + 1];
  char* out = number;
  // Checked before anything is appended, so that a refused size leaves no half operator.
  if (!put_number(out, size, "Tf")) return *this;
  append_name(resource_name);
  buffer_.push_back(' ');
  buffer_.append(std::string_view(number, static_cast<std::size_t>(out - number)));
  buffer_.append("Tf\n");
  return *this;
}
ContentBuilder& ContentBuilder::move_text(double tx, double ty) {
  const double numbers[] = {tx, ty};
  return numbers_operator(numbers, "Td");
}
ContentBuilder& ContentBuilder::move_text_set_leading(double tx, double ty) {
  const double numbers[] = {tx, ty};
  return numbers_operator(numbers, "TD");
}
ContentBuilder& ContentBuilder::text_matrix(double a, double b, double c, double d, double e,
                                            double f) {
  const double numbers[] = {a, b, c, d, e, f};
  return numbers_operator(numbers, "Tm");
}
ContentBuilder& ContentBuilder::next_line() { return plain_operator("T*"); }
ContentBuilder& ContentBuilder::leading(double value) {
  return numbers_operator({&value, 1}, "TL");
}
ContentBuilder& ContentBuilder::char_spacing(double spacing) {
  return numbers_operator({&spacing, 1}, "Tc");
}
ContentBuilder& ContentBuilder::word_spacing(double spacing) {
  return numbers_operator({&spacing, 1}, "Tw");
}
ContentBuilder& ContentBuilder::horizontal_scaling(double percent) {
  return numbers_operator({&percent, 1}, "Tz");
}
ContentBuilder& ContentBuilder::text_render_mode(TextRenderMode mode) {
  return integer_operator(static_cast<int>(mode), "Tr");
}
ContentBuilder& ContentBuilder::text_rise(double rise) {
  return numbers_operator({&rise, 1}, "Ts");
}

ContentBuilder& ContentBuilder::show_text(std::string_view codes) {
  if (!start("Tj")) return *this;
  append_string(codes);
  buffer_.append(" Tj\n");
  return *this;
}

ContentBuilder& ContentBuilder::show_text(StandardFont font, std::string_view utf8,
                                          Unencodable unencodable) {
  if (error_) return *this;
  // Printable ASCII is its own encoding in the text fonts: such text needs no encoded copy.
  if (font != StandardFont::Symbol && font != StandardFont::ZapfDingbats) {
    // Counted without an early exit, so that the compiler can test many bytes at once.
    std::size_t outside = 0;
    for (const char c : utf8) outside += static_cast<unsigned char>(c) - 0x20u >= 0x5Fu ? 1 : 0;
    if (outside == 0) return show_text(utf8);
  }
  Result<std::string> codes = encode_text(font, utf8, unencodable);
  if (!codes.ok()) {
    fail(std::move(codes).error());
    return *this;
  }
  return show_text(codes.value());
}

ContentBuilder& ContentBuilder::show_text_adjusted(std::span<const TextPiece> pieces) {
  if (!start("TJ")) return *this;
  // Numbers are checked first, so that a refused one leaves no half operator behind.
  char number[max_real_text + 1];
  for (const TextPiece& piece : pieces) {
    char* out = number;
    if (const double* adjustment = std::get_if<double>(&piece)) {
      if (!put_number(out, *adjustment, "TJ")) return *this;
    }
  }
  buffer_.push_back('[');
  bool first = true;
  for (const TextPiece& piece : pieces) {
    if (const double* adjustment = std::get_if<double>(&piece)) {
      char* out = number;
      if (!first) *out++ = ' ';
      put_number(out, *adjustment, "TJ");
      buffer_.append(std::string_view(number, static_cast<std::size_t>(out - number) - 1));
    } else {
      append_string(*std::get_if<std::string_view>(&piece));
    }
    first = false;
  }
  buffer_.append("] TJ\n");
  return *this;
}
ContentBuilder& ContentBuilder::show_text_adjusted(std::initializer_list<TextPiece> pieces) {
  return show_text_adjusted(std::span<const TextPiece>(pieces.begin(), pieces.size()));
}

ContentBuilder& ContentBuilder::next_line_show_text(std::string_view codes) {
  if (!start("'")) return *this;
  append_string(codes);
  buffer_.append(" '\n");
  return *this;
}

ContentBuilder& ContentBuilder::next_line_show_text_spaced(double word_space, double char_space,
                                                           std::string_view codes) {
  if (!start("\"")) return *this;
  char numbers[2 * (max_real_text + 1)];
  char* out = numbers;
  if (!put_number(out, word_space, "\"") || !put_number(out, char_space, "\"")) {
    return *this;
  }
  buffer_.append(std::string_view(numbers, static_cast<std::size_t>(out - numbers)));
  append_string(codes);
  buffer_.append(" \"\n");
  return *this;
}

ContentBuilder& ContentBuilder::draw_xobject(std::string_view resource_name) {
  return name_operator(resource_name, "Do");
}

ContentBuilder& ContentBuilder::begin_marked_content(std::string_view tag) {
  return name_operator(tag, "BMC");
}
ContentBuilder& ContentBuilder::begin_marked_content(std::string_view tag,
                                                     const Dictionary& properties) {
  if (!start("BDC")) return *this;
  append_name(tag);
  CountingSink sink(CallbackDestination{append_to_bytes, &buffer_});
  (void)serialize_dictionary(sink, properties);
  buffer_.append(" BDC\n");
  return *this;
}
ContentBuilder& ContentBuilder::begin_marked_content_named(std::string_view tag,
                                                           std::string_view properties) {
  if (!start("BDC")) return *this;
  append_name(tag);
  buffer_.push_back(' ');
  append_name(properties);
  buffer_.append(" BDC\n");
  return *this;
}
ContentBuilder& ContentBuilder::end_marked_content() { return plain_operator("EMC"); }

Result<Bytes> ContentBuilder::take_bytes() && {
  if (error_) return *std::move(error_);
  return std::move(buffer_);
}

Result<Stream> ContentBuilder::take_stream(Dictionary dictionary) && {
  if (error_) return *std::move(error_);
  if (unbalanced_at_ != 0) {
    return invalid_input("the content cannot become a stream: operator " +
                         std::to_string(unbalanced_at_) + " " + std::string(unbalanced_op_) + " " +
                         std::string(unbalanced_reason_));
  }
  if (const std::optional<std::string> open = left_open(ContentBalance{saved_states_, in_text_})) {
    return invalid_input("the content cannot become a stream: " + *open);
  }
  return make_stream(std::move(dictionary), std::move(buffer_));
}

}  // namespace vantril
