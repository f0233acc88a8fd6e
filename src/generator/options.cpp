#include "generator/generator.h"

namespace talvora {

// The one set of generation options of the program.
GenerationOptions& Options() {
  static GenerationOptions options;
  return options;
}

}  // namespace talvora

namespace quenlet {

GlobalState& Options() {
  static GlobalState state;
  return state;
}

}  // namespace quenlet
