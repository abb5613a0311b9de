// The content-stream builder: each operator's spelling and operands, number and string forms,
// refused operands, and the buffer handed over without a copy.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <string_view>

#include "vantril/content.hpp"
#include "vantril/writer/counting_sink.hpp"
#include "vantril/writer/serializer.hpp"

namespace vantril {
namespace {

using Call = std::function<void(ContentBuilder&)>;

std::string built(const Call& call) {
  ContentBuilder builder;
  call(builder);
  EXPECT_EQ(builder.error(), nullptr);
  return std::string(builder.bytes());
}

TEST(ContentBuilder, WritesEveryOperatorWithItsOperands) {
  const double two[] = {0.25, 1};
  const struct {
    Call call;
    std::string_view text;
  } cases[] = {
      {[](ContentBuilder& b) { b.save_state().restore_state(); }, "q\nQ\n"},
      {[](ContentBuilder& b) { b.transform(1, 0, 0, 1, 72, 720.5); }, "1 0 0 1 72 720.5 cm\n"},
      {[](ContentBuilder& b) { b.line_width(0.5); }, "0.5 w\n"},
      {[](ContentBuilder& b) { b.line_cap(LineCap::ProjectingSquare); }, "2 J\n"},
      {[](ContentBuilder& b) { b.line_join(LineJoin::Bevel); }, "2 j\n"},
      {[](ContentBuilder& b) { b.miter_limit(10); }, "10 M\n"},
      {[](ContentBuilder& b) {
         b.dash({3, 1.5}, 0);
       },
       "[3 1.5] 0 d\n"},
      {[](ContentBuilder& b) { b.dash({}, 0); }, "[] 0 d\n"},
      {[](ContentBuilder& b) { b.graphics_state("GS1"); }, "/GS1 gs\n"},
      {[](ContentBuilder& b) { b.move_to(1, 2).line_to(3, 4); }, "1 2 m\n3 4 l\n"},
      {[](ContentBuilder& b) { b.curve_to(1, 2, 3, 4, 5, 6); }, "1 2 3 4 5 6 c\n"},
      {[](ContentBuilder& b) { b.curve_to_v(1, 2, 3, 4); }, "1 2 3 4 v\n"},
      {[](ContentBuilder& b) { b.curve_to_y(1, 2, 3, 4); }, "1 2 3 4 y\n"},
      {[](ContentBuilder& b) { b.rectangle(10, 20, 30, -40).close_path(); },
       "10 20 30 -40 re\nh\n"},
      {[](ContentBuilder& b) {
         b.stroke().close_and_stroke().fill().fill_even_odd().fill_and_stroke();
         b.fill_and_stroke_even_odd().close_fill_and_stroke().close_fill_and_stroke_even_odd();
         b.end_path().clip().clip_even_odd();
       },
       "S\ns\nf\nf*\nB\nB*\nb\nb*\nn\nW\nW*\n"},
      {[](ContentBuilder& b) { b.fill_gray(0.5).stroke_gray(1); }, "0.5 g\n1 G\n"},
      {[](ContentBuilder& b) { b.fill_rgb(1, 0, 0.2).stroke_rgb(0, 1, 0); },
       "1 0 0.2 rg\n0 1 0 RG\n"},
      {[](ContentBuilder& b) { b.fill_cmyk(0, 0.1, 0.2, 1).stroke_cmyk(1, 1, 1, 1); },
       "0 0.1 0.2 1 k\n1 1 1 1 K\n"},
      {[](ContentBuilder& b) { b.fill_color_space("CS0").stroke_color_space("DeviceN"); },
       "/CS0 cs\n/DeviceN CS\n"},
      {[&](ContentBuilder& b) { b.fill_color(two).stroke_color(two); }, "0.25 1 sc\n0.25 1 SC\n"},
      {[&](ContentBuilder& b) { b.fill_color_n(two).stroke_color_n({}, "P1"); },
       "0.25 1 scn\n/P1 SCN\n"},
      {[](ContentBuilder& b) { b.begin_text().font("F1", 12).end_text(); }, "BT\n/F1 12 Tf\nET\n"},
      {[](ContentBuilder& b) { b.move_text(72, -14).move_text_set_leading(0, -14); },
       "72 -14 Td\n0 -14 TD\n"},
      {[](ContentBuilder& b) { b.text_matrix(1, 0, 0, 1, 72, 700); }, "1 0 0 1 72 700 Tm\n"},
      {[](ContentBuilder& b) { b.next_line().leading(14.5); }, "T*\n14.5 TL\n"},
      {[](ContentBuilder& b) { b.char_spacing(0.1).word_spacing(2).horizontal_scaling(90); },
       "0.1 Tc\n2 Tw\n90 Tz\n"},
      {[](ContentBuilder& b) { b.text_render_mode(TextRenderMode::Invisible).text_rise(-3); },
       "3 Tr\n-3 Ts\n"},
      {[](ContentBuilder& b) { b.show_text("Hello"); }, "(Hello) Tj\n"},
      {[](ContentBuilder& b) {
         b.show_text_adjusted({std::string_view("AV"), -120.0, "A"});
       },
       "[(AV) -120(A)] TJ\n"},
      {[](ContentBuilder& b) {
         b.show_text_adjusted({-1.5, std::string_view("x"), 2.0, 3.0});
       },
       "[-1.5(x) 2 3] TJ\n"},
      {[](ContentBuilder& b) { b.next_line_show_text("a"); }, "(a) '\n"},
      {[](ContentBuilder& b) { b.next_line_show_text_spaced(1, 0.5, "a"); }, "1 0.5 (a) \"\n"},
      {[](ContentBuilder& b) { b.draw_xobject("Im1"); }, "/Im1 Do\n"},
      {[](ContentBuilder& b) { b.begin_marked_content("Artifact").end_marked_content(); },
       "/Artifact BMC\nEMC\n"},
      {[](ContentBuilder& b) {
         b.begin_marked_content("Span", Dictionary::from_pairs({{"MCID", 3}}));
       },
       "/Span<</MCID 3>> BDC\n"},
      {[](ContentBuilder& b) { b.begin_marked_content_named("OC", "oc1"); }, "/OC /oc1 BDC\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(built(c.call), c.text);
}

TEST(ContentBuilder, WritesNumbersAsTheShortestFloatDecimal) {
  const struct {
    double value;
    std::string_view text;
  } cases[] = {
      {0, "0"},
      {-0.0, "-0"},
      {72, "72"},
      {0.1, "0.1"},
      {-1.5, "-1.5"},
      {595.2756, "595.2756"},
      {1.0 / 3, "0.33333334"},
      {1e-7, "0.0000001"},
      {123456.789, "123456.79"},
      {16777217, "16777216"},
      // From 2^63 on a whole real carries ".0", or readers would take it for a 64-bit integer.
      {3e38, "300000000000000000000000000000000000000.0"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(built([&](ContentBuilder& b) { b.line_width(c.value); }),
              std::string(c.text) + " w\n");
  }
}

TEST(ContentBuilder, EscapesStringsAndNamesAsTheSerializerDoes) {
  const std::string_view texts[] = {"a(b", "a)b(c)", "C:\\d", "cr\rlf\n",
                                    std::string_view("\0\xFF", 2)};
  for (const std::string_view text : texts) {
    std::string expected;
    CountingSink sink(expected);
    ASSERT_TRUE(serialize_object(sink, Object(literal_string(text))).ok());
    EXPECT_EQ(built([&](ContentBuilder& b) { b.show_text(text); }), expected + " Tj\n");
  }
  EXPECT_EQ(built([](ContentBuilder& b) { b.font("F 1#", 9); }), "/F#201#23 9 Tf\n");
}

TEST(ContentBuilder, RefusesOperandsThatAreNotFiniteRealsAndKeepsTheFirstError) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  const struct {
    Call call;
    std::string_view op;
  } cases[] = {
      {[&](ContentBuilder& b) { b.move_to(nan, 0); }, "(\"m\")"},
      {[&](ContentBuilder& b) { b.line_width(inf); }, "(\"w\")"},
      {[&](ContentBuilder& b) { b.line_to(0, -inf); }, "(\"l\")"},
      {[&](ContentBuilder& b) { b.font("F1", 1e39); }, "(\"Tf\")"},
      {[&](ContentBuilder& b) {
         b.show_text_adjusted({std::string_view("a"), nan});
       },
       "(\"TJ\")"},
      {[&](ContentBuilder& b) {
         b.dash({1, nan}, 0);
       },
       "(\"d\")"},
      {[&](ContentBuilder& b) {
         b.fill_color_n({{0.5, nan}}, "P");
       },
       "(\"scn\")"},
  };
  for (const auto& c : cases) {
    ContentBuilder builder;
    builder.begin_text();
    c.call(builder);
    ASSERT_NE(builder.error(), nullptr) << c.op;
    const std::string message = display_form(*builder.error());
    EXPECT_NE(message.find("operator 2 " + std::string(c.op)), std::string::npos) << message;
    // Later calls change nothing, and the result is the first error.
    const std::string before(builder.bytes());
    builder.end_text().show_text(StandardFont::Helvetica, "\xC5\x81");
    EXPECT_EQ(builder.bytes(), before);
    const Result<Stream> stream = std::move(builder).take_stream();
    ASSERT_FALSE(stream.ok());
    EXPECT_EQ(display_form(stream.error()), message);
  }
  // A refused font size leaves no half-written operator behind.
  ContentBuilder builder;
  builder.font("F1", nan);
  EXPECT_EQ(builder.bytes(), "");
}

TEST(ContentBuilder, ShowsUtf8TextInAStandardFontOrRecordsWhyNot) {
  EXPECT_EQ(built([](ContentBuilder& b) {
              b.show_text(StandardFont::Helvetica, "M\xC3\xBCller (GmbH) \\ 50% \xE2\x82\xAC)");
            }),
            "(M\xFCller (GmbH) \\\\ 50% \x80\\)) Tj\n");
  ContentBuilder builder;
  builder.show_text(StandardFont::Helvetica, "Pan \xC5\x81ukasz");
  ASSERT_NE(builder.error(), nullptr);
  EXPECT_EQ(display_form(*builder.error()),
            "Helvetica cannot show U+0141 \"\xC5\x81\" at byte 4 (character 4) of the text: it "
            "has no code in WinAnsiEncoding");
  ContentBuilder replaced;
  replaced.show_text(StandardFont::Helvetica, "Pan \xC5\x81ukasz", Unencodable::replace_with('?'));
  EXPECT_EQ(replaced.bytes(), "(Pan ?ukasz) Tj\n");
}

TEST(ContentBuilder, HandsItsBufferToTheStreamWithoutACopy) {
  ContentBuilder builder;
  for (int i = 0; i < 100; ++i) builder.move_to(i, i).line_to(i + 1, i).stroke();
  const std::string expected(builder.bytes());
  const char* buffer = builder.bytes().data();
  Result<Stream> stream =
      std::move(builder).take_stream(Dictionary::from_pairs({{"Filter", Name("None")}}));
  ASSERT_TRUE(stream.ok());
  EXPECT_EQ(stream.value().data.data(), buffer);
  EXPECT_EQ(stream.value().data, expected);
  const Object* length = stream.value().stream_dictionary.get("Length");
  ASSERT_NE(length, nullptr);
  EXPECT_EQ(*length->integer(), static_cast<std::int64_t>(expected.size()));
}

// A stream is a page's whole content: take_stream refuses q/Q and BT/ET that do not pair up,
// naming the first operator that breaks the pairing, while take_bytes hands over a piece.
TEST(ContentBuilder, TakeStreamRefusesUnpairedStatesAndTextObjects) {
  const struct {
    void (*build)(ContentBuilder&);
    const char* expected;  // "" for a stream
  } cases[] = {
      {[](ContentBuilder& b) { b.save_state().begin_text().end_text().restore_state(); }, ""},
      {[](ContentBuilder& b) { b.save_state().save_state().restore_state().restore_state(); }, ""},
      {[](ContentBuilder& b) { b.move_to(1, 1).restore_state(); },
       "operator 2 Q restores a graphics state that no q saved"},
      {[](ContentBuilder& b) { b.begin_text().end_text().end_text(); },
       "operator 3 ET ends a text object that no BT began"},
      {[](ContentBuilder& b) { b.begin_text().begin_text().end_text().end_text(); },
       "operator 2 BT begins a text object inside another (BT without ET before it)"},
      {[](ContentBuilder& b) { b.save_state().save_state().restore_state(); },
       "the content ends with 1 graphics state saved by q and never restored by Q"},
      {[](ContentBuilder& b) { b.begin_text().show_text("(ET)"); },
       "the content ends inside a text object (BT without ET)"},
      // The first break is kept even when later calls pair up again.
      {[](ContentBuilder& b) { b.restore_state().save_state(); },
       "operator 1 Q restores a graphics state that no q saved"},
  };
  for (const auto& c : cases) {
    ContentBuilder builder;
    c.build(builder);
    const std::string bytes(builder.bytes());
    ContentBuilder copy;
    c.build(copy);
    const Result<Bytes> piece = std::move(copy).take_bytes();
    ASSERT_TRUE(piece.ok());
    EXPECT_EQ(piece.value(), bytes);
    const Result<Stream> stream = std::move(builder).take_stream();
    if (std::string_view(c.expected).empty()) {
      ASSERT_TRUE(stream.ok()) << bytes;
      EXPECT_EQ(stream.value().data, bytes);
      continue;
    }
    ASSERT_FALSE(stream.ok()) << bytes;
    EXPECT_EQ(kind_of(stream.error()), IoErrorKind::InvalidInput);
    EXPECT_EQ(display_form(stream.error()),
              std::string("the content cannot become a stream: ") + c.expected);
  }
}

}  // namespace
}  // namespace vantril
