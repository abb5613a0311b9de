// A PDF file formed by hand, byte by byte, with every offset counted as it is written: for the
// fixtures whose layout the writer never makes (fixture_bytes.cpp), and for revisions added by
// hand to a file the library wrote (fixture_signed.cpp).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vantril::tool {

// One entry of a cross-reference section.
struct Entry {
  std::uint32_t number = 0;
  // 0 free, 1 in use, 2 in an object stream.
  int type = 1;
  // In use: the offset. Free: the next free number. In an object stream: the stream's number.
  std::uint64_t field = 0;
  // In use and free: the generation. In an object stream: the index inside it.
  std::uint32_t second = 0;
};

// A file being formed: its bytes, the line end it uses, and the entries of the section that the
// next cross-reference table or stream lists.
struct HandFile {
  std::string bytes;
  std::string eol = "\n";
  std::vector<Entry> entries;
  std::uint64_t previous_section = 0;
  bool has_previous = false;
  std::uint32_t size = 1;
  // The section formed next leaves object 0 out even when it is the file's first.
  bool without_zero = false;

  std::uint64_t offset() const { return bytes.size(); }
};

// The header and the binary comment line.
void start_file(HandFile& file, std::string_view version);

// "N G obj", the body and "endobj", listed in the next section.
void put_object(HandFile& file, std::uint32_t number, std::uint16_t generation,
                std::string_view body);

// A stream's body: its dictionary (entries without the brackets) with /Length, and its data.
std::string stream_body(const HandFile& file, std::string_view entries, std::string_view data);

// A free entry for the next section.
void free_entry(HandFile& file, std::uint32_t number, std::uint32_t next_free,
                std::uint16_t generation);

// A classic table and its trailer (with /Size, /Prev and `extra`), then the tail.
void table_section(HandFile& file, std::string_view extra);

}  // namespace vantril::tool
