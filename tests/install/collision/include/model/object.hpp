// The consumer's own model/object.hpp: the same path as one of vantril's implementation headers
// once had. An installed vantril header that reached its neighbours through this name would get
// this file and miss its own declarations.
#pragma once

namespace consumer {

struct Object {
  int own = 1;
};

}  // namespace consumer
