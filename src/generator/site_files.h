// The files a generated site needs besides its page documents: the template
// style's stylesheets and assets, the chosen logo, banner and welcome
// pictures, and a welcome page per folder built from a picture and a text.
// Also the clean-up that removes the output of an earlier run.
#pragma once
#include <string>
#include <vector>

namespace talvora {

// The links the template and picture copies left out because they point
// outside the folders the copy may take content from (the program folder
// and the style folder for the template, the site for its own pictures and
// welcome pages), and a link at the site's startxml.files that leads out of
// the site, which the copies remove rather than copy through. A run clears
// the list when it starts.
std::vector<std::string>& LinksLeftOut();
// The run's closing text, naming the links left out after it.
std::string WithLinksLeftOut(const std::string& text);

// Copies startxml.xsl, innerxml.xsl, the folder startxml.files and
// index.html from the style folder into the site folder, replacing the
// files there. A missing source is skipped, and so is a link out of the
// program folder and the style folder (see LinksLeftOut). A link at the
// site's startxml.files that leads out of the site is removed first. A
// piece that cannot be written into the site (a folder at a file's name, a
// file at the folder's, a read-only file, the site changed under the run)
// throws FsoError naming its place in the site; what stands at the name
// that could not be written is left as it is.
void CopyTemplate(const std::string& styleFolder, const std::string& siteFolder);

// Copies the chosen pictures (LogoPath, BannerPath, WelcomePath, each only
// when set) into the site's startxml.files as logo.gif, banner.gif and
// welcome.gif, whatever their format. A missing picture is skipped. A link
// at startxml.files that leads out of the site is removed first.
void CopyPictures(const std::string& siteFolder);

// Deletes the generated output in the folder and below: startxml.xsl,
// startxml.xml, startxml.files and the folder's own index.html. Folders
// holding index.html are finished web pages and are not entered.
// Throws FsoError when a folder cannot be listed.
void CleanOutput(const std::string& folder);

// The folder's welcome page: "welcome.html" or "welcome.htm" when the folder
// has one, else builds welcome.html from welcome.files (a picture and a
// non-empty welcome.txt) and returns "welcome.html", else "". The relative
// path tells the site folder: a welcome.files, picture or text that is a
// link leading out of the site counts as missing (see LinksLeftOut). Throws
// when welcome.txt cannot be read or the page cannot be written.
std::string GetWelcomePage(const std::string& folder, const std::string& relativePath);

// welcome.txt as an HTML fragment: the first line trimmed and centred
// between two line breaks, each later line as it is followed by a break.
std::string ReadWelcomeText(const std::string& path);

}  // namespace talvora

namespace quenlet {

// The main program's template copy, links admitted from the program data
// folder and the style folder.
void CopyTemplate(const std::string& styleFolder, const std::string& siteRoot);

// Copies LogoPath (when set) and the site's own banner.gif and welcome.jpg
// (when present) into the site's startxml.files; BannerPath and WelcomePath
// are left pointing at the site's two pictures. A link at startxml.files
// that leads out of the site is removed first.
void CopyPictures(const std::string& siteRoot);

// Deletes startxml.xsl, startxml.xml and index.html in the folder and below,
// keeping startxml.files. Folders holding index.htm or index.html are
// finished web pages and are not entered. Failures reach the caller.
void CleanOutput(const std::string& folder);

}  // namespace quenlet
