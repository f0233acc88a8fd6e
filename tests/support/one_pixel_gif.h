// A picture small enough to write into any fixture.
#pragma once
#include <string>

namespace testing_support {

// A 1 x 1 GIF picture.
inline const std::string kGif(
    "GIF89a\x01\x00\x01\x00\x80\x00\x00\xff\xff\xff\x00\x00\x00!\xf9\x04\x01\x00\x00\x00\x00,"
    "\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02\x02\x44\x01\x00;",
    43);

}  // namespace testing_support
