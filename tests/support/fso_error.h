// The check for a call that must fail with an error naming a path.
#pragma once
#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "platform/fso.h"

namespace testing_support {

// Runs act, which must throw an FsoError whose text names the path in
// double quotes, as the file layer names paths.
inline void ExpectFsoErrorNaming(const std::function<void()>& act, const std::string& path) {
  try {
    act();
    ADD_FAILURE() << "no error naming " << path;
  } catch (const platform::FsoError& e) {
    EXPECT_NE(std::string(e.what()).find("\"" + path + "\""), std::string::npos) << e.what();
  }
}

}  // namespace testing_support
