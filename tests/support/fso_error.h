// The check for a call that must fail with an error naming a path.
#pragma once
#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "platform/fso.h"

namespace testing_support {

// Runs act, which must throw an error of the file layer of the kind Error
// whose text names the path in double quotes, as the file layer names paths.
template <class Error>
void ExpectErrorNaming(const std::function<void()>& act, const std::string& path) {
  try {
    act();
    ADD_FAILURE() << "no error naming " << path;
  } catch (const platform::FsoError& e) {
    EXPECT_NE(dynamic_cast<const Error*>(&e), nullptr) << "an error of another kind: " << e.what();
    EXPECT_NE(std::string(e.what()).find("\"" + path + "\""), std::string::npos) << e.what();
  }
}

inline void ExpectFsoErrorNaming(const std::function<void()>& act, const std::string& path) {
  ExpectErrorNaming<platform::FsoError>(act, path);
}

// The file layer's word that the site changed under the run.
inline void ExpectSiteChangedNaming(const std::function<void()>& act, const std::string& path) {
  ExpectErrorNaming<platform::SiteChangedError>(act, path);
}

}  // namespace testing_support
