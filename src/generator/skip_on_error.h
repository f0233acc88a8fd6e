// "A statement that fails is skipped and the next one runs": the error
// handling of the layout rules, the tree reads, the menu procedure and the
// page scan.
#pragma once

namespace talvora {

template <class Step>
void Try(Step&& step) {
  try {
    step();
  } catch (...) {
  }
}

}  // namespace talvora
