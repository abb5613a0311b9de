// Building a page's content stream operator by operator, with every operand written by the
// library's own rules: names and strings escaped as the serializer escapes them, numbers in the
// shortest exact decimal form, never through the C library's locale-dependent formatting.
//
//   ContentBuilder b;
//   b.begin_text().font("F1", 12).move_text(72, 720);
//   b.show_text(StandardFont::Helvetica, "Müller (GmbH) \\ 50% €").end_text();
//   Result<Stream> content = std::move(b).take_stream();
//
// Each call appends one operator and its operands on a line of its own ("72 720 Td\n"). A call
// that cannot be written (a number that is not finite, text the font cannot show) records an
// error; from then on the builder ignores further calls and take_bytes / take_stream return that
// first error, so a chain of calls needs one check at its end.
//
// Numbers. Operands are given as double and written as the 32-bit real the object model holds:
// the shortest decimal that reads back as the same float, positional, without exponent (0.1 is
// "0.1", 595.2756 is "595.2756", 72 is "72", 1/3 is "0.33333334"). That keeps about seven
// significant digits: a coordinate up to 16384 points lands within 0.001 point of the value
// given. NaN, infinities and magnitudes beyond the float range (about 3.4e38) are refused.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <span>
#include <string_view>
#include <variant>

#include "vantril/detail/export.hpp"
#include "vantril/error.hpp"
#include "vantril/fonts.hpp"
#include "vantril/model/bytes.hpp"
#include "vantril/model/object.hpp"

namespace vantril {

// The J operator's operand.
enum class LineCap : std::uint8_t { Butt = 0, Round = 1, ProjectingSquare = 2 };
// The j operator's operand.
enum class LineJoin : std::uint8_t { Miter = 0, Round = 1, Bevel = 2 };
// The Tr operator's operand.
enum class TextRenderMode : std::uint8_t {
  Fill = 0,
  Stroke = 1,
  FillStroke = 2,
  Invisible = 3,
  FillClip = 4,
  StrokeClip = 5,
  FillStrokeClip = 6,
  Clip = 7,
};

// One element of a TJ array: encoded text (bytes in the font's encoding), or an adjustment in
// thousandths of the font size that moves the next glyph left (positive) or right (negative).
using TextPiece = std::variant<std::string_view, double>;

// The bytes of one content stream, built by appending operators. Move-only in effect: it owns
// its buffer, which take_bytes or take_stream hands over without copying.
class VANTRIL_API ContentBuilder {
 public:
  ContentBuilder() = default;
  // Room for `capacity` bytes at once, for callers who know roughly how much they write.
  explicit ContentBuilder(std::size_t capacity) { buffer_.reserve(capacity); }

  // Graphics state.
  ContentBuilder& save_state();                                                           // q
  ContentBuilder& restore_state();                                                        // Q
  ContentBuilder& transform(double a, double b, double c, double d, double e, double f);  // cm
  ContentBuilder& line_width(double width);                                               // w
  ContentBuilder& line_cap(LineCap cap);                                                  // J
  ContentBuilder& line_join(LineJoin join);                                               // j
  ContentBuilder& miter_limit(double limit);                                              // M
  ContentBuilder& dash(std::span<const double> pattern, double phase);                    // d
  ContentBuilder& dash(std::initializer_list<double> pattern, double phase);
  // gs: a graphics state parameter dictionary named in the page's /Resources /ExtGState.
  ContentBuilder& graphics_state(std::string_view resource_name);

  // Path construction.
  ContentBuilder& move_to(double x, double y);  // m
  ContentBuilder& line_to(double x, double y);  // l
  ContentBuilder& curve_to(double x1, double y1, double x2, double y2, double x3,
                           double y3);  // c
  // v: the first control point is the current point.
  ContentBuilder& curve_to_v(double x2, double y2, double x3, double y3);
  // y: the second control point is the end point.
  ContentBuilder& curve_to_y(double x1, double y1, double x3, double y3);
  ContentBuilder& rectangle(double x, double y, double width, double height);  // re
  ContentBuilder& close_path();                                                // h

  // Path painting and clipping.
  ContentBuilder& stroke();                          // S
  ContentBuilder& close_and_stroke();                // s
  ContentBuilder& fill();                            // f
  ContentBuilder& fill_even_odd();                   // f*
  ContentBuilder& fill_and_stroke();                 // B
  ContentBuilder& fill_and_stroke_even_odd();        // B*
  ContentBuilder& close_fill_and_stroke();           // b
  ContentBuilder& close_fill_and_stroke_even_odd();  // b*
  ContentBuilder& end_path();                        // n
  ContentBuilder& clip();                            // W
  ContentBuilder& clip_even_odd();                   // W*

  // Colour: fill (non-stroking) and stroke, in device spaces or a named colour space.
  ContentBuilder& fill_gray(double gray);                               // g
  ContentBuilder& stroke_gray(double gray);                             // G
  ContentBuilder& fill_rgb(double r, double g, double b);               // rg
  ContentBuilder& stroke_rgb(double r, double g, double b);             // RG
  ContentBuilder& fill_cmyk(double c, double m, double y, double k);    // k
  ContentBuilder& stroke_cmyk(double c, double m, double y, double k);  // K
  ContentBuilder& fill_color_space(std::string_view name);              // cs
  ContentBuilder& stroke_color_space(std::string_view name);            // CS
  ContentBuilder& fill_color(std::span<const double> components);       // sc
  ContentBuilder& stroke_color(std::span<const double> components);     // SC
  // scn and SCN: components, then a pattern's resource name when one is given.
  ContentBuilder& fill_color_n(std::span<const double> components,
                               std::optional<std::string_view> pattern = std::nullopt);
  ContentBuilder& stroke_color_n(std::span<const double> components,
                                 std::optional<std::string_view> pattern = std::nullopt);

  // Text objects and state.
  ContentBuilder& begin_text();  // BT
  ContentBuilder& end_text();    // ET
  // Tf: a font named in the page's /Resources /Font, at a size.
  ContentBuilder& font(std::string_view resource_name, double size);
  ContentBuilder& move_text(double tx, double ty);                                          // Td
  ContentBuilder& move_text_set_leading(double tx, double ty);                              // TD
  ContentBuilder& text_matrix(double a, double b, double c, double d, double e, double f);  // Tm
  ContentBuilder& next_line();                                                              // T*
  ContentBuilder& leading(double value);                                                    // TL
  ContentBuilder& char_spacing(double spacing);                                             // Tc
  ContentBuilder& word_spacing(double spacing);                                             // Tw
  ContentBuilder& horizontal_scaling(double percent);                                       // Tz
  ContentBuilder& text_render_mode(TextRenderMode mode);                                    // Tr
  ContentBuilder& text_rise(double rise);                                                   // Ts

  // Text showing. `codes` are bytes in the current font's encoding (see encode_text), written as
  // a literal string with the serializer's escapes.
  ContentBuilder& show_text(std::string_view codes);  // Tj
  // Tj with UTF-8 text encoded for a standard font (encode_text); a character the font cannot
  // show records encode_text's error unless `unencodable` names a replacement.
  ContentBuilder& show_text(StandardFont font, std::string_view utf8,
                            Unencodable unencodable = Unencodable::fail());
  ContentBuilder& show_text_adjusted(std::span<const TextPiece> pieces);  // TJ
  ContentBuilder& show_text_adjusted(std::initializer_list<TextPiece> pieces);
  ContentBuilder& next_line_show_text(std::string_view codes);  // '
  // ": word spacing, character spacing, then the text on the next line.
  ContentBuilder& next_line_show_text_spaced(double word_space, double char_space,
                                             std::string_view codes);

  // Do: an XObject (image or form) named in the page's /Resources /XObject.
  ContentBuilder& draw_xobject(std::string_view resource_name);

  // Marked content.
  ContentBuilder& begin_marked_content(std::string_view tag);  // BMC
  // BDC with an inline property dictionary, written by the serializer.
  ContentBuilder& begin_marked_content(std::string_view tag, const Dictionary& properties);
  // BDC with a property list named in the page's /Resources /Properties.
  ContentBuilder& begin_marked_content_named(std::string_view tag, std::string_view properties);
  ContentBuilder& end_marked_content();  // EMC

  // The first error recorded, or null while every call has succeeded.
  const IoError* error() const { return error_ ? &*error_ : nullptr; }
  // The bytes written so far.
  std::string_view bytes() const { return buffer_; }

  // The content's bytes, moved out (the builder is left empty), or the first error recorded.
  // The bytes may be a piece of a content, so q/Q and BT/ET need not pair up in them.
  Result<Bytes> take_bytes() &&;
  // A stream of the content, its "Length" set by make_stream, with the dictionary's other
  // entries (a filter is the caller's to add together with encoded data, so none is set here).
  // A stream is a page's whole content, so its q/Q and BT/ET must pair up: InvalidInput, naming
  // the operator, for a Q with no q before it, an ET with no BT, a BT inside a text object, or
  // a q or BT left open at the end ("operator 7 Q restores a graphics state that no q saved").
  // The first error recorded comes first.
  Result<Stream> take_stream(Dictionary dictionary = Dictionary()) &&;

 private:
  ContentBuilder& numbers_operator(std::span<const double> numbers, std::string_view op);
  ContentBuilder& integer_operator(int value, std::string_view op);
  ContentBuilder& plain_operator(std::string_view op);
  ContentBuilder& name_operator(std::string_view name, std::string_view op);
  ContentBuilder& components_operator(std::span<const double> numbers,
                                      std::optional<std::string_view> name, std::string_view op);
  // Starts an operator: false when an earlier call failed and this one must do nothing.
  bool start(std::string_view op);
  // Writes the number (and a space after it) at `out`; false, with the error recorded, when it
  // cannot be written.
  bool put_number(char*& out, double value, std::string_view op);
  void append_name(std::string_view name);
  void append_string(std::string_view codes);
  void fail(IoError error);
  // Follows q, Q, BT and ET for take_stream; keeps the first that breaks the pairing.
  void track_balance(std::string_view op);

  Bytes buffer_;
  std::optional<IoError> error_;
  // The number of operators written, for error messages.
  std::size_t operator_count_ = 0;
  // Graphics states saved and not restored, whether a text object is open, and the first
  // operator that broke the pairing (its number, 0 for none, and why).
  std::uint64_t saved_states_ = 0;
  bool in_text_ = false;
  std::size_t unbalanced_at_ = 0;
  std::string_view unbalanced_op_;
  std::string_view unbalanced_reason_;
};

}  // namespace vantril
