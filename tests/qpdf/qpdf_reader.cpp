// The conversion of libqpdf's object handles into plain values.
#include "qpdf_reader.hpp"

#define POINTERHOLDER_TRANSITION 4
#include <exception>
#include <memory>
#include <qpdf/Buffer.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFExc.hh>
#include <qpdf/QPDFObjectHandle.hh>

namespace vantril::testing_support {
namespace {

// A nested indirect object stays a reference; `top` is the object itself, read through.
ReadValue convert(QPDFObjectHandle handle, bool top) {
  ReadValue value;
  using Kind = ReadValue::Kind;
  if (!top && handle.isIndirect()) {
    value.kind = Kind::Reference;
    value.number = handle.getObjGen().getObj();
    value.generation = handle.getObjGen().getGen();
  } else if (handle.isNull()) {
    value.kind = Kind::Null;
  } else if (handle.isBool()) {
    value.kind = Kind::Boolean;
    value.boolean = handle.getBoolValue();
  } else if (handle.isInteger()) {
    value.kind = Kind::Integer;
    value.integer = handle.getIntValue();
  } else if (handle.isReal()) {
    value.kind = Kind::Real;
    value.text = handle.getRealValue();
  } else if (handle.isName()) {
    value.kind = Kind::Name;
    value.text = handle.getName().substr(1);
  } else if (handle.isString()) {
    value.kind = Kind::String;
    value.text = handle.getStringValue();
  } else if (handle.isArray()) {
    value.kind = Kind::Array;
    for (int i = 0; i < handle.getArrayNItems(); ++i) {
      value.items.push_back(convert(handle.getArrayItem(i), false));
    }
  } else if (handle.isDictionary() || handle.isStream()) {
    value.kind = handle.isStream() ? Kind::Stream : Kind::Dictionary;
    // getDictAsMap keeps entries whose value is null; getKeys would drop them.
    QPDFObjectHandle dictionary = handle.isStream() ? handle.getDict() : handle;
    for (auto& [key, item] : dictionary.getDictAsMap()) {
      value.keys.push_back(key.substr(1));
      value.items.push_back(convert(item, false));
    }
    if (handle.isStream()) {
      const std::shared_ptr<Buffer> data = handle.getRawStreamData();
      value.text.assign(reinterpret_cast<const char*>(data->getBuffer()), data->getSize());
      QPDFObjectHandle filter = dictionary.getKey("/Filter");
      if (filter.isName() && filter.getName() == "/FlateDecode") {
        try {
          const std::shared_ptr<Buffer> plain = handle.getStreamData(qpdf_dl_generalized);
          value.decoded.assign(reinterpret_cast<const char*>(plain->getBuffer()), plain->getSize());
          value.decodes = true;
        } catch (const std::exception&) {
          value.decodes = false;
        }
      }
    }
  } else {
    value.kind = Kind::Other;
    value.text = handle.unparse();
  }
  return value;
}

}  // namespace

ReadFile read_with_qpdf(const std::string& bytes, bool attempt_recovery) {
  ReadFile file;
  QPDF pdf;
  pdf.setSuppressWarnings(true);
  pdf.setAttemptRecovery(attempt_recovery);
  try {
    pdf.processMemoryFile("saved document", bytes.data(), bytes.size());
    for (const auto& [id, entry] : pdf.getXRefTable()) {
      ReadEntry read{id.getObj(), id.getGen(), entry.getType(), 0};
      if (entry.getType() == 1) read.offset = entry.getOffset();
      if (entry.getType() == 2) {
        read.object_stream = entry.getObjStreamNumber();
        read.index = entry.getObjStreamIndex();
      }
      if (entry.getType() == 1 || entry.getType() == 2) {
        file.objects[{id.getObj(), id.getGen()}] = convert(pdf.getObject(id), true);
      }
      file.xref.push_back(read);
    }
    file.trailer = convert(pdf.getTrailer(), true);
  } catch (const std::exception& error) {
    file.refusal = error.what();
  }
  for (const QPDFExc& warning : pdf.getWarnings()) file.warnings.push_back(warning.what());
  return file;
}

}  // namespace vantril::testing_support
