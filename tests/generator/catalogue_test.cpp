// The site catalogue built from a folder tree.
#include "generator/catalogue.h"

#include <filesystem>
#include <functional>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "generator/generator.h"
#include "generator/recording_sink.h"
#include "generator/ui_sink.h"
#include "platform/fso.h"
#include "support/temp_dir.h"

namespace talvora {
namespace {

using testing_support::MakeDirs;
using testing_support::TempDir;
using testing_support::WriteFile;

class Catalogue : public WithSink {
 protected:
  std::string RootXml(const std::string& folder) {
    doc = BuildCatalogue(folder);
    return doc->DocumentElement().Xml();
  }
  void Touch(const std::string& relative) { WriteFile(site / relative, "x"); }

  TempDir site;
  std::shared_ptr<platform::XmlDocument> doc;
};

TEST_F(Catalogue, DescribesTheWholeTreeInPageAndBranchOrder) {
  Touch("01intro.htm");
  Touch("notes.doc");
  Touch("array.ini");
  Touch("01Basics/1a.htm");
  Touch("01Basics/2b.htm");
  Touch("01Basics/Pics/p.gif");
  Touch("02Test/index.html");
  Touch("02Test/x.htm");

  EXPECT_EQ(RootXml(site.path()),
            "<subjectResource pages=\"6\">"
            "<node name=\"intro\" dir=\"\" link=\"01intro.htm\" level=\"1\"/>"
            "<node name=\"notes\" dir=\"\" link=\"notes.doc\" level=\"1\"/>"
            "<node name=\"Basics\" dir=\"01Basics\" link=\"\" level=\"1\" pages=\"3\">"
            "<node name=\"a\" dir=\"\" link=\"1a.htm\" level=\"2\"/>"
            "<node name=\"b\" dir=\"\" link=\"2b.htm\" level=\"2\"/>"
            "<node name=\"Pics\" dir=\"Pics\" link=\"\" level=\"2\" pages=\"1\">"
            "<node name=\"p\" dir=\"\" link=\"p.gif\" level=\"3\"/>"
            "</node>"
            "</node>"
            "<node name=\"Test\" dir=\"02Test\" link=\"02Test/index.html\" level=\"1\" pages=\"1\">"
            "<node name=\"Test\" dir=\"\" link=\"Test.html\" level=\"2\"/>"
            "</node>"
            "</subjectResource>");
  // Started from the designed text: its declaration stays.
  EXPECT_EQ(doc->Xml().rfind("<?xml version=\"1.0\" encoding=\"gb2312\"?>\r\n", 0), 0u);
  EXPECT_TRUE(platform::fso::FileExists(site / "02Test/Test.html"));
}

TEST_F(Catalogue, AFolderCountsThePagesOfEveryFolderBelowIt) {
  // Three folders deep: each page found down there counts in every folder
  // above it, not only in its own parent.
  Touch("A/a.htm");
  Touch("A/B/b.htm");
  Touch("A/B/C/c1.htm");
  Touch("A/B/C/c2.htm");
  EXPECT_EQ(RootXml(site.path()),
            "<subjectResource pages=\"4\">"
            "<node name=\"A\" dir=\"A\" link=\"\" level=\"1\" pages=\"4\">"
            "<node name=\"a\" dir=\"\" link=\"a.htm\" level=\"2\"/>"
            "<node name=\"B\" dir=\"B\" link=\"\" level=\"2\" pages=\"3\">"
            "<node name=\"b\" dir=\"\" link=\"b.htm\" level=\"3\"/>"
            "<node name=\"C\" dir=\"C\" link=\"\" level=\"3\" pages=\"2\">"
            "<node name=\"c1\" dir=\"\" link=\"c1.htm\" level=\"4\"/>"
            "<node name=\"c2\" dir=\"\" link=\"c2.htm\" level=\"4\"/>"
            "</node></node></node>"
            "</subjectResource>");
}

TEST_F(Catalogue, AnEmptySiteHasNoNodesAndNoPages) {
  Touch("array.ini");
  Touch("startxml.xml");
  MakeDirs(site / "welcome.files");
  EXPECT_EQ(RootXml(site.path()), "<subjectResource pages=\"0\"/>");
}

TEST_F(Catalogue, NamesLoseAtMostThreeDigitsAndKeepNoExtension) {
  Touch("1234x.htm");
  Touch("007README");
  Touch("2008年.doc");
  EXPECT_EQ(RootXml(site.path()),
            "<subjectResource pages=\"3\">"
            "<node name=\"README\" dir=\"\" link=\"007README\" level=\"1\"/>"
            "<node name=\"4x\" dir=\"\" link=\"1234x.htm\" level=\"1\"/>"
            "<node name=\"8年\" dir=\"\" link=\"2008年.doc\" level=\"1\"/>"
            "</subjectResource>");
}

TEST_F(Catalogue, AFinishedWebPageHasNoBranchesBelowIt) {
  Touch("03Quiz/index.html");
  Touch("03Quiz/q.htm");
  Touch("03Quiz/Sub/y.htm");
  EXPECT_EQ(RootXml(site.path()),
            "<subjectResource pages=\"1\">"
            "<node name=\"Quiz\" dir=\"03Quiz\" link=\"03Quiz/index.html\" level=\"1\" pages=\"1\">"
            "<node name=\"Quiz\" dir=\"\" link=\"Quiz.html\" level=\"2\"/>"
            "</node>"
            "</subjectResource>");
}

TEST_F(Catalogue, CancelLeavesTheRunningLoopsBranchesWithoutSubTrees) {
  Touch("p.htm");
  Touch("A/a.htm");
  Touch("A/A1/x.htm");
  Touch("B/b.htm");
  Touch("B/B1/y.htm");
  // Pressed while the first branch is visited.
  sink.onPump = [] {
    if (ProgressBar().Value() == 2) Options().CancelFlag = -1;
  };
  EXPECT_EQ(RootXml(site.path()),
            "<subjectResource pages=\"2\">"
            "<node name=\"p\" dir=\"\" link=\"p.htm\" level=\"1\"/>"
            "<node name=\"A\" dir=\"A\" link=\"\" level=\"1\" pages=\"2\">"
            "<node name=\"a\" dir=\"\" link=\"a.htm\" level=\"2\"/>"
            "<node name=\"A1\" dir=\"A1\" link=\"\" level=\"2\" pages=\"1\"/>"
            "</node>"
            "<node name=\"B\" dir=\"B\" link=\"\" level=\"1\" pages=\"1\"/>"
            "</subjectResource>");
  EXPECT_EQ(ProgressBar().Max(), 5.0f);
  EXPECT_EQ(ProgressBar().Value(), 5.0f);
}

TEST_F(Catalogue, ProgressCountsEveryFolderButStepsOnlyForVisitedOnes) {
  MakeDirs(site / "A/b.c");          // counted, never visited
  Touch("B/index.html");
  MakeDirs(site / "B/Sub");          // counted, never visited
  ProgressBar().SetMax(100);
  sink.progress.clear();
  BuildCatalogue(site.path());
  // Value 0, Max = four folders + 1; one step each for the site, A and B;
  // the end of the pass sets Value to Max.
  const std::vector<std::pair<float, float>> expected = {
      {0, 100}, {0, 5}, {1, 5}, {2, 5}, {3, 5}, {5, 5}};
  EXPECT_EQ(sink.progress, expected);
}

TEST_F(Catalogue, ProgressNeverPassesMax) {
  Touch("A/a.htm");
  Touch("B/b.htm");
  ProgressBar().SetMax(2);
  ProgressBar().SetValue(0);
  platform::XmlDocument catalogue;
  ASSERT_TRUE(catalogue.LoadXml("<subjectResource></subjectResource>"));
  AddFolderNodes(site.path(), catalogue, catalogue.DocumentElement(), 1);
  EXPECT_EQ(ProgressBar().Value(), 2.0f);
  EXPECT_EQ(catalogue.DocumentElement().Attribute("pages"), "2");
}

TEST_F(Catalogue, ALinkBackToAnEnclosingFolderIsNoBranch) {
  Touch("A/a.htm");
  std::filesystem::create_directory_symlink(site.path(), site / "A/up");
  EXPECT_EQ(RootXml(site.path()),
            "<subjectResource pages=\"1\">"
            "<node name=\"A\" dir=\"A\" link=\"\" level=\"1\" pages=\"1\">"
            "<node name=\"a\" dir=\"\" link=\"a.htm\" level=\"2\"/>"
            "</node>"
            "</subjectResource>");
  EXPECT_EQ(ProgressBar().Max(), 2.0f);
}

TEST_F(Catalogue, AMissingSiteFolderRaises) {
  EXPECT_THROW(BuildCatalogue(site / "missing"), platform::FsoError);
}

TEST(CatalogueAttributes, SetAttrKeepsThePlaceAndGetAttrGivesZeroForNothing) {
  platform::XmlDocument doc;
  ASSERT_TRUE(doc.LoadXml("<node a=\"1\" b=\"\" c=\"3\"/>"));
  platform::XmlNode node = doc.DocumentElement();
  SetAttr(node, "a", "9");
  SetAttr(node, "d", "4");
  EXPECT_EQ(node.Xml(), "<node a=\"9\" b=\"\" c=\"3\" d=\"4\"/>");
  EXPECT_EQ(GetAttr(node, "c"), "3");
  EXPECT_EQ(GetAttr(node, "b"), "0");
  EXPECT_EQ(GetAttr(node, "missing"), "0");
  EXPECT_EQ(GetAttr(node, "C"), "0");
}

}  // namespace
}  // namespace talvora
