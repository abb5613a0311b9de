// PDF files written by other tools, made at test time: the inputs that updates and signatures
// must extend without touching a byte of them. Every file is made from one page that mutool
// writes, then rewritten by qpdf, Ghostscript and poppler, or shaped by hand (a hybrid file,
// bytes before the header, bytes after the end).
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/posix/shell.hpp"

namespace vantril::testing_support {

struct ForeignFile {
  std::string name;
  std::filesystem::path path;
};

// A table-form file whose trailer's /XRefStm names a cross-reference stream that lists the
// information dictionary, kept in an object stream: a reader that knows only tables finds the
// page, and one that knows streams finds the information dictionary too.
inline std::string hybrid_file_bytes() {
  std::string out = "%PDF-1.5\n%\xE2\xE3\xCF\xD3\n";
  std::vector<std::size_t> offsets(8, 0);
  const auto object = [&](int number, const std::string& body) {
    offsets[static_cast<std::size_t>(number)] = out.size();
    out += std::to_string(number);
    out += " 0 obj\n";
    out += body;
    out += "\nendobj\n";
  };
  object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
  object(3,
         "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Contents 4 0 R "
         "/Resources << /Font << /F1 << /Type /Font /Subtype /Type1 /BaseFont /Helvetica >> >> "
         ">> >>");
  const std::string content = "BT /F1 24 Tf 72 720 Td (A hybrid file) Tj ET";
  object(4, "<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content +
                "\nendstream");
  const std::string info = "<< /Producer (hand-made hybrid) >>";
  const std::string pairs = "5 0 ";
  object(6, "<< /Type /ObjStm /N 1 /First " + std::to_string(pairs.size()) + " /Length " +
                std::to_string(pairs.size() + info.size()) + " >>\nstream\n" + pairs + info +
                "\nendstream");
  // Object 5 in object stream 6 at index 0: type 2, widths 1 2 1.
  const std::string entries("\x02\x00\x06\x00", 4);
  const std::size_t xref_stream = out.size();
  object(7, "<< /Type /XRef /Size 8 /W [1 2 1] /Index [5 1] /Length 4 >>\nstream\n" + entries +
                "\nendstream");
  offsets[7] = xref_stream;
  const std::size_t table = out.size();
  // Object 5 is left out of the table, not listed as free: readers take a table's entry over
  // the stream's, so only a missing one sends them to the stream.
  const auto row = [&](int number) {
    std::string offset = std::to_string(offsets[static_cast<std::size_t>(number)]);
    out += std::string(10 - offset.size(), '0');
    out += offset;
    out += " 00000 n \n";
  };
  out += "xref\n0 5\n0000000000 65535 f \n";
  for (int number = 1; number <= 4; ++number) row(number);
  out += "6 2\n";
  row(6);
  row(7);
  out += "trailer\n<< /Size 8 /Root 1 0 R /Info 5 0 R /XRefStm ";
  out += std::to_string(xref_stream);
  out += " >>\nstartxref\n";
  out += std::to_string(table);
  out += "\n%%EOF\n";
  return out;
}

inline void write_bytes(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// Makes the set in `directory`; a tool that fails fails the test and leaves its file out.
inline std::vector<ForeignFile> make_foreign_files(const std::filesystem::path& directory) {
  namespace fs = std::filesystem;
  std::vector<ForeignFile> files;
  // Runs `before`, the output's path, then `after`.
  const auto made = [&](const std::string& name, const std::string& before,
                        const std::string& after) {
    const fs::path path = directory / (name + ".pdf");
    std::string command = before;
    command += ' ';
    command += quoted(path);
    command += after;
    const Ran ran = run(command);
    EXPECT_EQ(ran.exit_status, 0) << name << ": " << command << "\n" << ran.output;
    if (ran.exit_status == 0 && fs::exists(path)) files.push_back({name, path});
  };
  const fs::path page = directory / "page.txt";
  write_bytes(page,
              "%%MediaBox 0 0 595 842\n%%Font F1 Helvetica\n"
              "BT /F1 24 Tf 72 720 Td (A page of another writer) Tj ET\n");
  made("mutool", "mutool create -o", " " + quoted(page));
  if (files.empty()) return files;
  const std::string base = quoted(files.front().path);
  made("qpdf_plain", "qpdf --static-id --object-streams=disable " + base, "");
  // The catalog, like every other object that is no stream, lands in an object stream.
  made("qpdf_object_streams", "qpdf --static-id --object-streams=generate " + base, "");
  made("qpdf_linearized", "qpdf --static-id --linearize " + base, "");
  made("ghostscript", "gs -q -dNOPAUSE -dBATCH -sDEVICE=pdfwrite -o", " " + base);
  made("pdftocairo", "pdftocairo -pdf " + base, "");
  write_bytes(directory / "hybrid.pdf", hybrid_file_bytes());
  files.push_back({"hybrid", directory / "hybrid.pdf"});
  {
    std::string bytes;
    std::ifstream in(files.front().path, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    write_bytes(directory / "bytes_before_header.pdf", "JUNK BEFORE THE HEADER\n" + bytes);
    files.push_back({"bytes_before_header", directory / "bytes_before_header.pdf"});
    bytes += "\n% bytes another tool left after the end of the file\n";
    write_bytes(directory / "bytes_after_eof.pdf", bytes);
    files.push_back({"bytes_after_eof", directory / "bytes_after_eof.pdf"});
  }
  return files;
}

}  // namespace vantril::testing_support
