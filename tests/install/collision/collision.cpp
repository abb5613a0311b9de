// A consumer whose own include path holds model/object.hpp and runtime/result.hpp, included
// before vantril's headers: both its own types and vantril's must be what each expects. Writes a
// one-object document into memory and prints it.
#include <iostream>
#include <string>
#include <vantril/error.hpp>
#include <vantril/model.hpp>
#include <vantril/writer.hpp>

#include "model/object.hpp"
#include "runtime/result.hpp"

int main() {
  const consumer::Object own_object;
  const consumer::Result own_result;
  vantril::Document document = vantril::create_versioned("1.7");
  const vantril::ObjectId id = vantril::append_object(
      document, vantril::Dictionary::from_pairs({{"Type", vantril::Name("Catalog")}}));
  document.trailer.set("Root", id);
  document.xref_state.xref_form = vantril::XrefForm::XrefTableForm;
  std::string bytes;
  vantril::CountingSink sink(bytes);
  const vantril::Status written = vantril::write_document(document, sink);
  if (!written.ok() || own_object.own != 1 || !own_result.own) {
    std::cerr << "collision: " << (written.ok() ? "own types wrong" : "write failed") << '\n';
    return 1;
  }
  std::cout << bytes;
  return 0;
}
