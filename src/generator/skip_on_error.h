// "A statement that fails is skipped and the next one runs": the error
// handling of the layout rules, the tree reads, the menu procedure and the
// page scan. The site changing under a generation run is never skipped.
#pragma once

#include "platform/fso.h"

namespace talvora {

template <class Step>
void Try(Step&& step) {
  try {
    step();
  } catch (const platform::SiteChangedError&) {
    throw;
  } catch (...) {
  }
}

}  // namespace talvora
