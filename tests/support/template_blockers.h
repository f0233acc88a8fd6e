// What a user may keep at a name the template copy writes, for the runs of
// both programs: a folder at a stylesheet's or the entry page's name, a
// file at the asset folder's.
#pragma once
#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "platform/fso.h"
#include "support/temp_dir.h"

namespace testing_support {

// For each of those, a fresh site holding a page and the user's own thing
// at that name: run (given the site folder) must throw an FsoError that
// tells of the template and names the place, leave the user's thing as it
// was, and not report the run done (reportedDone is asked after it).
inline void ExpectEachTemplateBlockerFailsTheRun(const std::function<void(const std::string&)>& run,
                                                 const std::function<bool()>& reportedDone) {
  const struct {
    const char* name;
    bool folder;  // the user has a folder there, else a file
  } blockers[] = {{"startxml.xsl", true}, {"index.html", true}, {"startxml.files", false}};
  for (const auto& b : blockers) {
    SCOPED_TRACE(b.name);
    TempDir dir;
    const std::string site = dir / "site", at = site + "/" + b.name;
    WriteFile(site + "/a.htm", "a");
    const std::string own = b.folder ? at + "/own.txt" : at;
    WriteFile(own, "the user's own");
    std::string message;
    try {
      run(site);
      ADD_FAILURE() << "the run went ahead";
    } catch (const platform::FsoError& e) {
      message = e.what();
    }
    EXPECT_NE(message.find("模板"), std::string::npos) << message;
    EXPECT_NE(message.find("\"" + at + "\""), std::string::npos) << message;
    EXPECT_EQ(ReadFile(own), "the user's own");
    EXPECT_FALSE(reportedDone());
  }
}

}  // namespace testing_support
