#include "generator/site_files.h"

#include <vector>

#include "generator/generator.h"
#include "generator/uitl.h"
#include "platform/folder_visits.h"
#include "platform/fso.h"
#include "platform/paths.h"

namespace talvora {
namespace {

using platform::kSepStr;

std::string Join(const std::string& folder, const std::string& name) {
  return folder + kSepStr + name;
}

// A text file's lines as a line-by-line reader sees them: split at CR LF, a
// lone CR or a lone LF, with no extra empty line after a final line end.
std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::string line;
  bool open = false;  // a line has started and is not yet ended
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '\r' || c == '\n') {
      lines.push_back(line);
      line.clear();
      open = false;
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      line += c;
      open = true;
    }
  }
  if (open) lines.push_back(line);
  return lines;
}

std::string TrimBlanks(const std::string& s) {
  std::size_t b = s.find_first_not_of(' ');
  if (b == std::string::npos) return "";
  std::size_t e = s.find_last_not_of(' ');
  return s.substr(b, e - b + 1);
}

std::string WelcomePageText(const std::string& pictureRef, const std::string& welcomeText) {
  std::string t;
  t += "<style>";
  t += "body{";
  t += "background-color: #FFFFFF; scrollbar-face-color: #ffffff;scrollbar-highlight-color: "
       "#ffffff;scrollbar-shadow-color: #DEE3E7;scrollbar-arrow-color:#e4eaf0;"
       "scrollbar-track-color:#f5f9fc;scrollbar-darkshadow-color: #ffffff;    "
       "margin:0px;margin-top:0px;";
  t += "}";
  t += "</style>";
  t += "<table width=\"83%\" height=\"275\" border=\"0\" align=\"center\" cellpadding=\"0\" "
       "cellspacing=\"0\">";
  t += "\r\n";
  t += "<tr>";
  t += "<td height=\"252\" align=\"center\"><img src=\"";
  t += pictureRef;
  t += "\" width=\"294\" height=\"252\" align=\"middle\"></td>";
  t += "</tr>";
  t += "<tr>";
  t += "<td>";
  t += welcomeText;
  t += "</td>";
  t += "</tr>";
  t += "</table>";
  return t;
}

// How one program's clean-up tells a finished web page, deletes a file and
// whether it removes the template's asset folder too.
struct CleanRules {
  bool (*isFinishedPage)(const std::string& folder);
  void (*deleteFile)(const std::string& path);
  void (*deleteAssets)(const std::string& folder);
};

// Clean-up of one folder; each real folder inside is cleaned once, and a
// link out of the folder the clean-up started from is never followed.
void CleanOutputIn(const std::string& folder, const CleanRules& rules,
                   platform::fso::FolderVisits& visits) {
  rules.deleteFile(Join(folder, "startxml.xsl"));
  rules.deleteFile(Join(folder, "startxml.xml"));
  for (const std::string& name : platform::fso::SubFolderNames(folder)) {
    std::string sub = Join(folder, name);
    // A finished web page's content is its own.
    if (rules.isFinishedPage(sub)) continue;
    if (!visits.Enter(sub)) continue;
    CleanOutputIn(sub, rules, visits);
  }
  if (rules.deleteAssets) rules.deleteAssets(folder);
  rules.deleteFile(Join(folder, "index.html"));
}

void CleanOutputWith(const std::string& folder, const CleanRules& rules) {
  platform::fso::FolderVisits visits(folder);
  CleanOutputIn(folder, rules, visits);
}

// False, with the source noted, for a link that points outside the folders.
bool Admitted(const std::string& source, const std::vector<std::string>& folders) {
  if (!platform::fso::IsLink(source) || platform::fso::LiesInside(source, folders)) return true;
  LinksLeftOut().push_back(source);
  return false;
}

// The site's asset folder, made fit to copy into: a link there that leads
// out of the site goes, and is noted, so that nothing is copied through it
// to what it points at, which stays as it is. Throws when the link cannot
// be removed.
void DropAssetFolderLinkOut(const std::string& siteFolder) {
  const std::string assets = Join(siteFolder, "startxml.files");
  if (!Admitted(assets, {siteFolder})) platform::fso::DeleteFile(assets);
}

// The site folder a page belongs to: the page's folder is the site folder
// followed by the page's relative path. A folder that does not end in the
// relative path is taken as the site folder itself.
std::string SiteOfPage(const std::string& folder, const std::string& relativePath) {
  std::string relative = relativePath;
  while (!relative.empty() && relative.front() == platform::kSep) relative.erase(0, 1);
  while (!relative.empty() && relative.back() == platform::kSep) relative.pop_back();
  if (relative.empty()) return folder;
  const std::string tail = kSepStr + relative;
  if (folder.size() < tail.size() || folder.compare(folder.size() - tail.size(), tail.size(), tail) != 0)
    return folder;
  const std::string site = folder.substr(0, folder.size() - tail.size());
  return site.empty() ? kSepStr : site;
}

// The template's files: its two stylesheets, its asset folder and its entry
// page. A piece the style folder lacks is skipped. Content is taken through
// a link only from inside the program's data folder or the style folder. A
// piece that cannot be copied ends the copy with an error naming its place
// in the site, the file layer's reason within, whatever that is; the site
// changed under the run stays an error of that kind. What stands at that
// place stays.
void CopyTemplateWith(const std::string& styleFolder, const std::string& siteFolder,
                      const std::string& dataFolder) {
  const std::vector<std::string> within = {dataFolder, styleFolder};
  DropAssetFolderLinkOut(siteFolder);
  auto copyInto = [&](const char* name, auto copy) {
    const std::string target = Join(siteFolder, name);
    try {
      copy(Join(styleFolder, name), target);
    } catch (const platform::FsoError& e) {
      const std::string text = "模板中的 " + std::string(name) + " 未能复制到网站，生成没有完成：\"" +
                               target + "\"（" + e.what() + "）";
      if (dynamic_cast<const platform::SiteChangedError*>(&e)) throw platform::SiteChangedError(text);
      throw platform::FsoError(text);
    }
  };
  auto copyFile = [&](const std::string& source, const std::string& target) {
    if (Admitted(source, within) && FileExists(source))
      platform::fso::CopyFile(source, target, true);
  };
  copyInto("startxml.xsl", copyFile);
  copyInto("innerxml.xsl", copyFile);
  copyInto("startxml.files", [&](const std::string& source, const std::string& target) {
    if (FolderExists(source) && Admitted(source, within))
      platform::fso::CopyFolderWithin(source, target, within, LinksLeftOut());
  });
  copyInto("index.html", copyFile);
}

}  // namespace

std::vector<std::string>& LinksLeftOut() {
  static std::vector<std::string> links;
  return links;
}

std::string WithLinksLeftOut(const std::string& text) {
  if (LinksLeftOut().empty()) return text;
  std::string named;
  for (const std::string& link : LinksLeftOut()) named += (named.empty() ? "" : "、") + link;
  return text + "（以下链接指向允许的文件夹以外，没有复制：" + named + "）";
}

void CopyTemplate(const std::string& styleFolder, const std::string& siteFolder) {
  CopyTemplateWith(styleFolder, siteFolder, platform::ProgramFolder());
}

void CopyPictures(const std::string& siteFolder) {
  // After the template copy, so the chosen pictures replace the template's own.
  const GenerationOptions& o = Options();
  DropAssetFolderLinkOut(siteFolder);
  std::string files = Join(siteFolder, "startxml.files");
  if (!o.LogoPath.empty()) CopyFileIfExists(o.LogoPath, Join(files, "logo.gif"));
  if (!o.BannerPath.empty()) CopyFileIfExists(o.BannerPath, Join(files, "banner.gif"));
  if (!o.WelcomePath.empty()) CopyFileIfExists(o.WelcomePath, Join(files, "welcome.gif"));
}

void CleanOutput(const std::string& folder) {
  static const CleanRules rules{
      [](const std::string& sub) { return FileExists(Join(sub, "index.html")); },
      DeleteFileIfExists,
      [](const std::string& f) { DeleteFolderIfExists(Join(f, "startxml.files")); }};
  CleanOutputWith(folder, rules);
}

std::string GetWelcomePage(const std::string& folder, const std::string& relativePath) {
  if (FileExists(Join(folder, "welcome.html"))) return "welcome.html";
  if (FileExists(Join(folder, "welcome.htm"))) return "welcome.htm";

  // Picture and text are taken through a link only from inside the site;
  // a link that leads out counts as missing, and is noted.
  const std::vector<std::string> site = {SiteOfPage(folder, relativePath)};
  std::string source = Join(folder, "welcome.files");
  const bool sourceAdmitted = FolderExists(source) && Admitted(source, site);
  auto usable = [&](const std::string& path) {
    return sourceAdmitted && FileExists(path) && Admitted(path, site);
  };

  // The picture is referred to relative to the page, with the web's "/".
  std::string picture;
  if (usable(Join(source, "welcome.gif")))
    picture = "welcome.files/welcome.gif";
  else if (usable(Join(source, "welcome.jpg")))
    picture = "welcome.files/welcome.jpg";

  std::string text;
  std::string textFile = Join(source, "welcome.txt");
  if (usable(textFile)) text = ReadWelcomeText(textFile);

  if (picture.empty() || text.empty()) return "";
  WriteTextFile(Join(folder, "welcome.html"), WelcomePageText(picture, text));
  return "welcome.html";
}

std::string ReadWelcomeText(const std::string& path) {
  std::vector<std::string> lines = SplitLines(platform::fso::ReadAnsiText(path));
  std::string html;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (i == 0)
      html += "<br><div align=\"center\">" + TrimBlanks(lines[i]) + "</div>" + "<br>";
    else
      html += lines[i] + "<br>";
  }
  return html;
}

}  // namespace talvora

namespace quenlet {

using talvora::Join;

void CopyTemplate(const std::string& styleFolder, const std::string& siteFolder) {
  talvora::CopyTemplateWith(styleFolder, siteFolder, ProgramDataFolder());
}

void CopyPictures(const std::string& siteRoot) {
  GlobalState& o = Options();
  talvora::DropAssetFolderLinkOut(siteRoot);
  const std::string files = Join(siteRoot, "startxml.files");
  if (!o.LogoPath.empty()) CopyFileIfExists(o.LogoPath, Join(files, "logo.gif"));
  // A column site brings its own banner and welcome picture.
  o.BannerPath = Join(siteRoot, "banner.gif");
  o.WelcomePath = Join(siteRoot, "welcome.jpg");
  // Never content from outside the site through a link.
  if (talvora::Admitted(o.BannerPath, {siteRoot}))
    CopyFileIfExists(o.BannerPath, Join(files, "banner.gif"));
  if (talvora::Admitted(o.WelcomePath, {siteRoot}))
    CopyFileIfExists(o.WelcomePath, Join(files, "welcome.jpg"));
}

void CleanOutput(const std::string& folder) {
  // The asset folder stays: the template copy refreshes what it holds.
  static const talvora::CleanRules rules{
      [](const std::string& sub) { return !GetIndexPage(sub).empty(); }, DeleteFileIfExists,
      nullptr};
  talvora::CleanOutputWith(folder, rules);
}

}  // namespace quenlet
