// The templates that ship with the program render the sites a generation run
// writes: through xsltproc and through a real browser, with the Chinese names
// intact and every link of every page leading to a file of the site.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <filesystem>
#include <ostream>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include <QProcess>
#include <QStringList>
#include <gtest/gtest.h>

#include "generator/generator.h"
#include "platform/codepage.h"
#include "platform/paths.h"
#include "platform/preview_server.h"
#include "support/event_wait.h"
#include "support/http_client.h"
#include "support/name_fixtures.h"
#include "support/run_program.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using testing_support::ReadFile;
using testing_support::SourceDir;
using testing_support::TempDir;

const char* const kTemplates[] = {"简洁风格", "课堂风格"};
const char kSample[] = "勾股定理";

using Output = testing_support::ProgramOutput;
using testing_support::RunProgram;

std::string PercentDecode(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '%' && i + 2 < s.size() && isxdigit(static_cast<unsigned char>(s[i + 1])) &&
        isxdigit(static_cast<unsigned char>(s[i + 2]))) {
      out += static_cast<char>(std::stoi(s.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      out += s[i];
    }
  }
  return out;
}

// The values of every href and src attribute, as the page gives them.
std::vector<std::string> RawLinks(const std::string& html) {
  static const std::regex attr(R"re(\b(?:href|src)="([^"]*)")re");
  std::vector<std::string> links;
  for (auto it = std::sregex_iterator(html.begin(), html.end(), attr); it != std::sregex_iterator(); ++it)
    links.push_back((*it)[1].str());
  return links;
}

// The same, percent-decoded.
std::vector<std::string> Links(const std::string& html) {
  std::vector<std::string> links = RawLinks(html);
  for (std::string& link : links) link = PercentDecode(link);
  return links;
}

// The pictures a page shows: the src of every img, percent-decoded.
std::vector<std::string> Images(const std::string& html) {
  static const std::regex img(R"re(<img\b[^>]*\bsrc="([^"]*)")re");
  std::vector<std::string> images;
  for (auto it = std::sregex_iterator(html.begin(), html.end(), img); it != std::sregex_iterator(); ++it)
    images.push_back(PercentDecode((*it)[1].str()));
  return images;
}

bool HasLink(const std::string& html, const std::string& target) {
  for (const std::string& link : Links(html))
    if (link == target) return true;
  return false;
}

// Every non-empty name a page document gives (navigation, breadcrumb,
// sub-tree), in UTF-8.
std::vector<std::string> NamesInPage(const std::string& pageXml) {
  static const std::regex name(R"re(\bname="([^"]+)")re");
  std::string text = platform::FromAnsi(pageXml);
  std::vector<std::string> names;
  for (auto it = std::sregex_iterator(text.begin(), text.end(), name); it != std::sregex_iterator(); ++it)
    names.push_back((*it)[1].str());
  return names;
}

std::string StylesheetHref(const std::string& pageXml) {
  static const std::regex pi(R"re(<\?xml-stylesheet[^>]*href="([^"]*)")re");
  std::smatch m;
  return std::regex_search(pageXml, m, pi) ? m[1].str() : std::string();
}

// Whether a link of a page in folder leads to a file or folder of the site.
bool LeadsIntoSite(const std::string& site, const std::string& folder, std::string link) {
  link = link.substr(0, link.find_first_of("?#"));
  fs::path target = (fs::path(folder) / link).lexically_normal();
  std::string rel = target.lexically_relative(site).string();
  return !rel.empty() && rel.rfind("..", 0) != 0 && fs::exists(target);
}

bool IsExternal(const std::string& link) {
  return link.empty() || link[0] == '#' || link.rfind("http:", 0) == 0 || link.rfind("https:", 0) == 0 ||
         link.rfind("javascript:", 0) == 0 || link.rfind("mailto:", 0) == 0 || link.rfind("about:", 0) == 0;
}

// The sample resource, copied and generated with one template style.
class GeneratedSite {
 public:
  GeneratedSite(const std::string& templateName, int style) {
    site_ = dir_ / kSample;
    fs::copy(SourceDir() + "/examples/" + kSample, site_, fs::copy_options::recursive);
    const std::string program = platform::ProgramFolder();
    talvora::GenerationOptions& options = talvora::Options();
    options.TemplatePath = program + "/template/" + templateName + "/xsl" + std::to_string(style);
    options.LogoPath = program + "/logo/logo_shuxue.gif";
    options.BannerPath.clear();
    options.WelcomePath.clear();
    options.FootText = "版权所有 某某中学数学组";
    options.SubjectText = "初中数学";
    options.CancelFlag = 0;
    std::string folder = site_;
    talvora::GenerateSite(folder, true);
  }
  const std::string& path() const { return site_; }
  std::string page(const std::string& relative) const {
    return relative.empty() ? site_ : site_ + "/" + relative;
  }

 private:
  TempDir dir_;
  std::string site_;
};

// The rendered page of a folder, decoded from the page's GBK output.
struct Rendered {
  Output run;
  std::string html;
};

Rendered RenderWithXsltproc(const std::string& folder) {
  const std::string xml = folder + "/startxml.xml";
  const std::string stylesheet = folder + "/" + StylesheetHref(ReadFile(xml));
  Rendered r;
  r.run = RunProgram("xsltproc", {"--nonet", stylesheet, xml}, 60000);
  r.html = platform::FromAnsi(r.run.out);
  return r;
}

// --- xsltproc: every page of every style ------------------------------------

struct Style {
  const char* templateName;
  int style;
};

void PrintTo(const Style& s, std::ostream* os) { *os << s.templateName << "/xsl" << s.style; }

std::string StyleName(const ::testing::TestParamInfo<Style>& info) {
  return "Template" + std::to_string(info.index / 3) + "Style" + std::to_string(info.param.style);
}

std::string TemplateName(const ::testing::TestParamInfo<const char*>& info) {
  return "Template" + std::to_string(info.index);
}

class RenderEveryPage : public ::testing::TestWithParam<Style> {};

TEST_P(RenderEveryPage, EveryPageRendersItsNamesAndEveryLinkLeadsIntoTheSite) {
  GeneratedSite site(GetParam().templateName, GetParam().style);
  int pages = 0;
  for (const auto& entry : fs::recursive_directory_iterator(site.path())) {
    if (entry.path().filename() != "startxml.xml") continue;
    ++pages;
    const std::string folder = entry.path().parent_path().string();
    SCOPED_TRACE(folder);
    Rendered r = RenderWithXsltproc(folder);
    ASSERT_TRUE(r.run.finished);
    ASSERT_EQ(r.run.exitCode, 0) << r.run.err;
    EXPECT_EQ(r.run.err, "");
    EXPECT_NE(r.html.find("charset=GBK"), std::string::npos);
    for (const std::string& name : NamesInPage(ReadFile(entry.path().string())))
      EXPECT_NE(r.html.find(name), std::string::npos) << "missing name " << name;
    EXPECT_NE(r.html.find("初中数学"), std::string::npos);
    EXPECT_NE(r.html.find("版权所有 某某中学数学组"), std::string::npos);
    for (const std::string& link : Links(r.html)) {
      if (IsExternal(link)) continue;
      EXPECT_TRUE(LeadsIntoSite(site.path(), folder, link)) << "broken link " << link;
    }
  }
  // The site folder and its eight branches (the finished web page included).
  EXPECT_EQ(pages, 9);
  // The entry page sends the browser to the site folder's page; it must not
  // look like a column site's.
  std::string index = ReadFile(site.path() + "/index.html");
  EXPECT_NE(index.rfind("<qz", 0), 0u);
  EXPECT_NE(index.find("url=startxml.xml"), std::string::npos);
  EXPECT_NE(index.find("href=\"startxml.xml\""), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Templates, RenderEveryPage,
                         ::testing::Values(Style{"简洁风格", 1}, Style{"简洁风格", 2}, Style{"简洁风格", 3},
                                           Style{"课堂风格", 1}, Style{"课堂风格", 2}, Style{"课堂风格", 3}),
                         StyleName);

// --- xsltproc: what particular pages show -------------------------------------

struct PageCase {
  const char* folder;  // relative to the site folder
  std::vector<const char*> links;
  std::vector<const char*> texts;
  std::vector<const char*> absent;
};

const PageCase kPageCases[] = {
    {"",
     {"startxml.files/startxml.css", "startxml.files/logo.gif", "startxml.files/banner.gif",
      "welcome.html", "学习指南.htm", "01课程目标/startxml.xml",
      "02互动课本/index.html", "04相关素材/startxml.xml"},
     {"首页", "课程目标", "教案示例"},
     {"01课程目标", "~$", ".bak", "array.ini"}},
    {"04相关素材",
     {"../startxml.files/startxml.css", "../startxml.xml", "../01课程目标/startxml.xml",
      "../02互动课本/index.html", "../学习指南.htm", "01图片素材/startxml.xml",
      "01图片素材/03勾股树.jpg", "02数学史话/1商高与周髀算经.htm"},
     {"相关素材", "图片素材", "毕达哥拉斯"},
     {}},
    {"04相关素材/01图片素材",
     {"../../startxml.files/logo.gif", "../../startxml.xml", "../startxml.xml", "../../05学习评测/startxml.xml",
      "../02数学史话/startxml.xml", "03勾股树.jpg", "02赵爽弦图.png", "01直角三角形.gif"},
     {"图片素材", "赵爽弦图"},
     {"array.ini"}},
    {"04相关素材/02数学史话",
     {"../../startxml.files/startxml.css", "../startxml.xml", "1商高与周髀算经.htm", "2毕达哥拉斯.htm",
      "../01图片素材/startxml.xml"},
     {"数学史话", "商高与周髀算经"},
     {}},
    {"06教案示例", {"教学设计.htm"}, {"教学设计"}, {"~$", ".bak"}},
    {"02互动课本", {"互动课本.html"}, {"互动课本"}, {"page1.htm"}},
};

class RenderedPages : public ::testing::TestWithParam<const char*> {};

TEST_P(RenderedPages, ShowTheirNavigationListAndPictures) {
  GeneratedSite site(GetParam(), 2);
  for (const PageCase& c : kPageCases) {
    SCOPED_TRACE(c.folder);
    Rendered r = RenderWithXsltproc(site.page(c.folder));
    ASSERT_EQ(r.run.exitCode, 0) << r.run.err;
    for (const char* link : c.links) EXPECT_TRUE(HasLink(r.html, link)) << "no link " << link;
    for (const char* text : c.texts) EXPECT_NE(r.html.find(text), std::string::npos) << text;
    for (const char* text : c.absent) EXPECT_EQ(r.html.find(text), std::string::npos) << text;
  }
  // Only the picture folder shows its pictures themselves; elsewhere a
  // page shows no more than the site's own pictures.
  std::vector<std::string> gallery = Images(RenderWithXsltproc(site.page("04相关素材/01图片素材")).html);
  for (const char* picture : {"03勾股树.jpg", "02赵爽弦图.png", "01直角三角形.gif"})
    EXPECT_NE(std::find(gallery.begin(), gallery.end(), picture), gallery.end()) << picture;
  for (const char* folder : {"", "04相关素材", "04相关素材/02数学史话"}) {
    for (const std::string& image : Images(RenderWithXsltproc(site.page(folder)).html))
      EXPECT_NE(image.find("startxml.files/"), std::string::npos) << folder << ": " << image;
  }
}

INSTANTIATE_TEST_SUITE_P(Templates, RenderedPages, ::testing::ValuesIn(kTemplates), TemplateName);

// --- names the page documents hold as character references ----------------

// "&#N;" references turned back into UTF-8 characters.
std::string DecodeCharRefs(const std::string& html) {
  static const std::regex ref("&#([0-9]+);");
  std::string out;
  auto last = html.begin();
  for (auto it = std::sregex_iterator(html.begin(), html.end(), ref); it != std::sregex_iterator(); ++it) {
    out.append(last, html.begin() + it->position());
    unsigned cp = static_cast<unsigned>(std::stoul((*it)[1].str()));
    if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp < 0x800) {
      out += static_cast<char>(0xC0 | (cp >> 6));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      out += static_cast<char>(0xE0 | (cp >> 12));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (cp >> 18));
      out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    }
    last = html.begin() + it->position() + it->length();
  }
  out.append(last, html.end());
  return out;
}

TEST(RenderNames, OutsideGbkAndWithMarkupCharactersShowAndLinkRight) {
  for (const char* templateName : kTemplates) {
    SCOPED_TRACE(templateName);
    TempDir dir;
    const std::string site = dir / "site";
    testing_support::WriteFile(site + "/한글.htm", "x");
    testing_support::WriteFile(site + "/ñ数学/a'b&c\"d.htm", "y");
    talvora::Options().TemplatePath = platform::ProgramFolder() + "/template/" + templateName + "/xsl1";
    talvora::Options().LogoPath.clear();
    std::string folder = site;
    talvora::GenerateSite(folder, true);
    for (const std::string& page : {site, site + "/ñ数学"}) {
      Rendered r = RenderWithXsltproc(page);
      ASSERT_EQ(r.run.exitCode, 0) << r.run.err;
      std::string html = DecodeCharRefs(r.html);
      EXPECT_NE(html.find("한글"), std::string::npos) << page;
      EXPECT_NE(html.find("ñ数学"), std::string::npos) << page;
      for (const std::string& link : Links(html)) {
        std::string unescaped = std::regex_replace(link, std::regex("&amp;"), "&");
        unescaped = std::regex_replace(unescaped, std::regex("&quot;"), "\"");
        EXPECT_TRUE(LeadsIntoSite(site, page, unescaped)) << "broken link " << link;
      }
    }
    std::string inner = DecodeCharRefs(RenderWithXsltproc(site + "/ñ数学").html);
    EXPECT_NE(inner.find(">a'b&amp;c\"d<"), std::string::npos);
  }
}

TEST(RenderNames, AnEmptySiteSaysSoOnItsOnlyPage) {
  for (const char* templateName : kTemplates) {
    SCOPED_TRACE(templateName);
    TempDir dir;
    testing_support::MakeDirs(dir / "site");
    talvora::Options().TemplatePath = platform::ProgramFolder() + "/template/" + templateName + "/xsl1";
    std::string folder = dir / "site";
    talvora::GenerateSite(folder, true);
    Rendered r = RenderWithXsltproc(folder);
    ASSERT_EQ(r.run.exitCode, 0) << r.run.err;
    EXPECT_NE(r.html.find("本栏目暂无资源"), std::string::npos);
    EXPECT_NE(r.html.find("首页"), std::string::npos);
  }
}

// --- a real browser over HTTP -------------------------------------------------

int FreePort() {
  int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = 0;
  socklen_t len = sizeof addr;
  int port = -1;
  if (bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
      getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
    port = ntohs(addr.sin_port);
  close(s);
  return port;
}

bool Accepts(int port) {
  int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<uint16_t>(port));
  bool ok = connect(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  close(s);
  return ok;
}

// The site served on 127.0.0.1 for as long as the object lives.
class SiteServer {
 public:
  SiteServer(const std::string& site, const std::string& log) : port_(FreePort()), log_(log) {
    server_.setStandardErrorFile(QString::fromStdString(log_));
    server_.start("python3", {"-m", "http.server", "--bind", "127.0.0.1", QString::number(port_), "-d",
                              QString::fromStdString(site)});
    server_.waitForStarted(10000);
    for (int i = 0; i < 100 && !Accepts(port_); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  ~SiteServer() {
    server_.kill();
    server_.waitForFinished(5000);
  }
  std::string Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + "/" + path;
  }
  // The requests it has logged so far, one line each.
  std::string Log() const { return fs::exists(log_) ? ReadFile(log_) : std::string(); }

 private:
  int port_;
  QProcess server_;
  std::string log_;
};

std::string DumpDom(const std::string& url, const std::string& profile) {
  Output r = RunProgram("/usr/bin/chromium",
                 {"--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                  "--disable-background-networking", "--disable-component-update", "--disable-sync",
                  "--disable-features=GenerateXSLTWarningBanner", "--user-data-dir=" + profile, "--dump-dom", url},
                 120000);
  EXPECT_TRUE(r.finished) << url;
  EXPECT_EQ(r.exitCode, 0) << r.err;
  return r.out;
}

// The site folder's page as the browser built it: navigation, list and links.
void ExpectRootPage(const std::string& root) {
  EXPECT_NE(root.find("id=\"menu\""), std::string::npos) << root.substr(0, 2000);
  EXPECT_NE(root.find("id=\"content\""), std::string::npos);
  for (const char* name : {"首页", "学习指南", "专题导读", "课程目标", "互动课本", "演示文稿", "相关素材", "学习评测",
                           "教案示例"})
    EXPECT_NE(root.find(name), std::string::npos) << name;
  for (const char* link : {"01课程目标/startxml.xml", "02互动课本/index.html", "学习指南.htm", "welcome.html",
                           "startxml.files/logo.gif"})
    EXPECT_TRUE(HasLink(root, link)) << link;
}

class BrowserRender : public ::testing::TestWithParam<const char*> {};

TEST_P(BrowserRender, ShowsNavigationAndListOnTheRootAndTwoLevelsDown) {
  if (!fs::exists("/usr/bin/chromium")) GTEST_SKIP() << "chromium is not installed";
  GeneratedSite site(GetParam(), 3);
  TempDir profiles;
  SiteServer server(site.path(), profiles / "server.log");

  ExpectRootPage(DumpDom(server.Url("startxml.xml"), profiles / "root"));

  std::string deep = DumpDom(server.Url("04%E7%9B%B8%E5%85%B3%E7%B4%A0%E6%9D%90/02%E6%95%B0%E5%AD%A6%E5%8F%B2%E8%AF%9D/startxml.xml"),
                             profiles / "deep");
  EXPECT_NE(deep.find("id=\"menu\""), std::string::npos) << deep.substr(0, 2000);
  for (const char* name : {"数学史话", "商高与周髀算经", "毕达哥拉斯", "相关素材", "课程目标"})
    EXPECT_NE(deep.find(name), std::string::npos) << name;
  for (const char* link : {"../../startxml.xml", "../startxml.xml", "../../01课程目标/startxml.xml",
                           "1商高与周髀算经.htm", "2毕达哥拉斯.htm", "../../startxml.files/banner.gif"})
    EXPECT_TRUE(HasLink(deep, link)) << link;

  // The browser fetched the stylesheets and the pictures the pages name.
  std::string log = PercentDecode(server.Log());
  for (const char* request : {"GET /startxml.xsl", "GET /innerxml.xsl", "GET /startxml.files/startxml.css",
                              "GET /startxml.files/logo.gif", "GET /startxml.files/banner.gif"})
    EXPECT_NE(log.find(request), std::string::npos) << request << "\n" << log;
  static const std::regex missing(R"re("GET ([^ ]*) HTTP/1\.[01]" 404)re");
  for (auto it = std::sregex_iterator(log.begin(), log.end(), missing); it != std::sregex_iterator(); ++it)
    if ((*it)[1].str() != "/favicon.ico") ADD_FAILURE() << "not found: " << (*it)[1].str();
}

INSTANTIATE_TEST_SUITE_P(Templates, BrowserRender, ::testing::ValuesIn(kTemplates), TemplateName);

// The page the wizard's preview leads to (index.html sends the browser to
// it): the site folder's page, through the program's own loopback server.
TEST(PreviewRender, TheRootPageRendersThroughThePreviewServer) {
  if (!fs::exists("/usr/bin/chromium")) GTEST_SKIP() << "chromium is not installed";
  GeneratedSite site(kTemplates[0], 1);
  TempDir profiles;
  const std::string address = platform::PreviewServer::Instance().Address(site.path(), "startxml.xml");
  ASSERT_FALSE(address.empty());
  ExpectRootPage(DumpDom(address, profiles / "root"));
}


// The request target a browser sends for a link of a page at basePath
// ("/prefix/folder/"): the link resolved against the page's folder, its
// query and fragment cut, bytes outside printable ASCII escaped.
std::string BrowserTarget(const std::string& basePath, const std::string& link) {
  std::vector<std::string> segments;
  std::string path = basePath + link.substr(0, link.find_first_of("?#"));
  for (size_t start = 1; start <= path.size();) {
    size_t slash = path.find('/', start);
    if (slash == std::string::npos) slash = path.size();
    const std::string segment = path.substr(start, slash - start);
    if (segment == "..") {
      if (!segments.empty()) segments.pop_back();
    } else if (segment != ".") {
      segments.push_back(segment);
    }
    start = slash + 1;
  }
  std::string target;
  for (const std::string& segment : segments) {
    target += '/';
    for (unsigned char c : segment) {
      static const char hex[] = "0123456789ABCDEF";
      if (c <= 0x20 || c >= 0x7F) target += {'%', hex[c >> 4], hex[c & 15]};
      else target += static_cast<char>(c);
    }
  }
  return target;
}

// Names a link must escape (GBK bytes, control characters, "#", "?",
// "%41"): every link of the pages, followed through the preview server as
// the browser follows it, leads to the file.
TEST(PreviewRender, EveryLinkOfThePagesIsServedThroughThePreviewServer) {
  TempDir dir;
  const std::string site = dir / "site";
  testing_support::MakeAwkwardNames(site);
  talvora::Options().TemplatePath = platform::ProgramFolder() + "/template/" + kTemplates[0] + "/xsl1";
  talvora::Options().LogoPath.clear();
  std::string folder = site;
  talvora::GenerateSite(folder, true);
  platform::PreviewServer& server = platform::PreviewServer::Instance();
  int gbkLinks = 0;
  for (const std::string& page : {std::string(), std::string("\xCA\xFD\xD1\xA7/")}) {
    const std::string address = server.Address(site, page + "startxml.xml");
    const std::string base = address.substr(address.find('/', 7), address.rfind('/') + 1 - address.find('/', 7));
    for (std::string link : RawLinks(RenderWithXsltproc(site + "/" + page).html)) {
      if (IsExternal(link)) continue;
      link = std::regex_replace(link, std::regex("&amp;"), "&");
      if (link.find("%D3%EF%CE%C4") != std::string::npos) ++gbkLinks;
      const std::string target = BrowserTarget(base, link);
      EXPECT_EQ(testing_support::Request(server.Port(), "GET", target).status, 200) << page << ": " << link;
    }
  }
  EXPECT_GT(gbkLinks, 0);
}

}  // namespace
