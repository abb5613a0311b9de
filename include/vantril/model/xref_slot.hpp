// One cross-reference entry, shared by the document's own state and by a save's record.
#pragma once

#include <cstdint>

namespace vantril {

// A free number, the free number that ends the free list (object 0), an object written in the
// body, or one stored inside an object stream.
enum class XrefSlotKind : std::uint16_t {
  Free = 0,
  FreeFinal = 1,
  InUse = 2,
  InObjectStream = 3,
};

struct XrefSlot {
  XrefSlotKind kind = XrefSlotKind::Free;
  // InUse: the object's generation. InObjectStream: its index inside the object stream.
  std::uint16_t generation = 0;
  // InUse: byte position of the object's opening line. InObjectStream: the object stream's number.
  std::uint32_t offset = 0;

  friend bool operator==(const XrefSlot&, const XrefSlot&) = default;
};

// Which form of cross-reference section a save writes.
enum class XrefForm : std::uint8_t {
  XrefStreamForm = 0,
  XrefTableForm = 1,
};

}  // namespace vantril
