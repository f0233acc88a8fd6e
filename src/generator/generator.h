// The site generator: turns a folder tree and the generation options into a
// browsable site.
#pragma once
#include <memory>
#include <string>

#include "platform/xml_document.h"

namespace talvora {

// The generation options, written by the wizard and the edit command and
// read by the generator.
struct GenerationOptions {
  std::string TemplatePath;  // program folder/template/<name>/xsl<style>
  std::string LogoPath;
  std::string BannerPath;
  std::string WelcomePath;
  std::string FootText;
  std::string SubjectText;
  int CancelFlag = 0;  // -1 when cancel is requested
  // The root element of the last run's catalogue, and the document that
  // keeps it alive.
  platform::XmlNode CatalogueRoot;
  std::shared_ptr<platform::XmlDocument> Catalogue;
};

GenerationOptions& Options();

// One generation run over the site folder: a full run (fullRun true) or a
// refresh run. Errors are not trapped: they reach the caller as exceptions
// with a readable description.
void GenerateSite(std::string& siteFolder, bool fullRun);

// The page pass: writes the folder's startxml.xml from the catalogue in
// Options().CatalogueRoot, then those of its branches, recursively.
void WritePageDocuments(const std::string& siteFolder, const std::string& folder);

// Where a refresh run keeps the site folder's own index.html while it works.
std::string IndexTempPath();

}  // namespace talvora
