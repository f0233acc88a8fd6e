#include "webfinder/parser_panel.h"

#include <cmath>
#include <stdexcept>

#include <QGroupBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineView>

#include "generator/skip_on_error.h"
#include "platform/process.h"
#include "platform/twips.h"

namespace talvora {
namespace {

// Positions are kept in twips.
constexpr auto Place = platform::PlaceInTwips;

const char kLoading[] = " 网络加载中　...";
const char kFinished[] = "网络资源查找完毕 ...";

// The Flash player's download site and its control's class id.
const char kFlashDownloadDomain[] = "macromedia.com";
const char kFlashClassId[] = "d27cdb6e-ae6d-11cf-96b8-444553540000";

// How long a scan waits for the browser to hand over the document.
constexpr int kSnapshotWaitMs = 10000;

// The document in one go, as JSON: the body's inner HTML and, in document
// order, the images, the object and applet elements (with the values of
// their param children), the embeds and the links with their inner text.
const char kSnapshotScript[] =
    "(function () {"
    "  function attrs(e) {"
    "    var m = {};"
    "    for (var i = 0; i < e.attributes.length; i++)"
    "      m[e.attributes[i].name.toLowerCase()] = e.attributes[i].value;"
    "    return m;"
    "  }"
    "  function hosted(e) {"
    "    var m = attrs(e);"
    "    for (var i = 0; i < e.children.length; i++) {"
    "      var p = e.children[i];"
    "      if (p.tagName.toLowerCase() !== 'param') continue;"
    "      var n = (p.getAttribute('name') || '').toLowerCase();"
    "      if (n && !(n in m)) m[n] = p.getAttribute('value') || '';"
    "    }"
    "    return m;"
    "  }"
    "  function list(c, f) {"
    "    var out = [];"
    "    for (var i = 0; c && i < c.length; i++) out.push(f(c[i]));"
    "    return out;"
    "  }"
    "  var d = document;"
    "  return JSON.stringify({"
    "    body: d.body ? d.body.innerHTML : null,"
    "    images: list(d.images, function (e) { return { a: attrs(e) }; }),"
    "    objects: list(d.querySelectorAll('object, applet'),"
    "                  function (e) { return { a: hosted(e) }; }),"
    "    embeds: list(d.embeds, function (e) { return { a: attrs(e) }; }),"
    "    links: list(d.links, function (e) {"
    "      var t = e.innerText;"
    "      return { a: attrs(e), t: t === undefined || t === null ? e.textContent : t };"
    "    })"
    "  });"
    "})()";

std::string Lower(const std::string& text) {
  return QString::fromStdString(text).toLower().toStdString();
}

bool StartsWith(const std::string& text, const char* prefix) {
  return text.compare(0, std::char_traits<char>::length(prefix), prefix) == 0;
}

// The text occurs, first, after the very first character.
bool OccursAfterStart(const std::string& text, const char* part) {
  std::size_t at = text.find(part);
  return at != std::string::npos && at > 0;
}

// The markup is read without regard to case; the address itself keeps its
// own, which a server may tell apart.
std::string RemoveBlankPrefix(std::string a) {
  if (StartsWith(Lower(a.substr(0, 11)), "about:blank")) a.erase(0, 11);
  return a;
}

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (;;) {
    std::size_t at = text.find(separator, start);
    parts.push_back(text.substr(start, at == std::string::npos ? std::string::npos : at - start));
    if (at == std::string::npos) return parts;
    start = at + 1;
  }
}

std::string Join(const std::vector<std::string>& parts, const char* separator) {
  std::string joined;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (i) joined += separator;
    joined += parts[i];
  }
  return joined;
}

// Refuses every window the page asks for.
class ScannedPage : public QWebEnginePage {
 public:
  ScannedPage(ParserPanel* panel, QObject* parent) : QWebEnginePage(parent), panel_(panel) {}

 protected:
  QWebEnginePage* createWindow(WebWindowType) override {
    bool cancel = false;
    panel_->ParserPanel_WebBrowser1_NewWindow2(cancel);
    // Nothing here would host a second page: a window not refused is not
    // opened either.
    return nullptr;
  }

 private:
  ParserPanel* panel_;
};

}  // namespace

// ---------------------------------------------------------------------------
// The document and the address rules

std::optional<std::string> HtmlDocument::Element::Attribute(const std::string& name) const {
  auto it = attributes.find(Lower(name));
  if (it == attributes.end()) return std::nullopt;
  return it->second;
}

HtmlDocument HtmlDocument::FromJson(const std::string& json) {
  HtmlDocument document;
  QJsonDocument parsed = QJsonDocument::fromJson(QByteArray::fromStdString(json));
  if (!parsed.isObject()) return document;
  QJsonObject root = parsed.object();
  if (root.value("body").isString()) document.bodyHtml = root.value("body").toString().toStdString();
  auto elements = [&](const char* name) {
    std::vector<Element> list;
    for (const QJsonValue& value : root.value(name).toArray()) {
      QJsonObject object = value.toObject();
      Element element;
      QJsonObject attributes = object.value("a").toObject();
      for (auto it = attributes.begin(); it != attributes.end(); ++it)
        element.attributes[it.key().toLower().toStdString()] = it.value().toString().toStdString();
      element.innerText = object.value("t").toString().toStdString();
      list.push_back(std::move(element));
    }
    return list;
  };
  document.images = elements("images");
  document.objects = elements("objects");
  document.embeds = elements("embeds");
  document.links = elements("links");
  return document;
}

std::string BaseHrefOf(const std::string& bodyHtml) {
  const QString h = QString::fromStdString(bodyHtml);
  const qsizetype b = h.indexOf(QStringLiteral("<base "));
  if (b < 0) return "";
  const QString s = h.mid(b, 100);
  const qsizetype c = s.indexOf(QStringLiteral("href="));
  if (c < 0 || c + 5 >= s.size()) return "";
  const QChar quote = s.at(c + 5);
  const qsizetype end = s.indexOf(quote, c + 6);
  // A value whose quote does not come back within the text taken is no
  // base address.
  if (end < 0) return "";
  return s.mid(c + 6, end - (c + 6)).toStdString();
}

std::string ResolveUrl(const std::string& a, const std::string& addressText,
                       const std::string& baseHref) {
  if (OccursAfterStart(a, "://")) return a;
  std::vector<std::string> parts = Split(addressText, '/');
  if (!a.empty() && a[0] == '/') {
    if (parts.size() < 3) throw std::out_of_range("下标越界: 网址中没有主机名");
    return parts[0] + "//" + parts[2] + a;
  }
  if (!baseHref.empty())
    return baseHref.back() == '/' ? baseHref + a : baseHref + "/" + a;
  if (parts.size() - 1 < 3) return Join(parts, "/") + "/" + a;
  parts.back() = a;
  return Join(parts, "/");
}

int MediaKindOf(const std::string& address) {
  for (const char* extension : {".asf", ".wmv", ".wma", ".mpg", ".avi", ".mp3", ".wav", ".mid", ".asx"})
    if (OccursAfterStart(address, extension)) return kWindowsMedia;
  for (const char* extension : {".ram", ".rm", ".rmvb"})
    if (OccursAfterStart(address, extension)) return kRealMedia;
  return -1;
}

// ---------------------------------------------------------------------------
// The pane

ParserPanel::ParserPanel(QWidget* parent) : QWidget(parent) {
  Place(this, 0, 0, 7875, 1020);

  Frame1 = new QGroupBox(this);
  Place(Frame1, 0, 0, 7875, 1020);

  Label2 = new QLabel(QStringLiteral("网址:"), Frame1);
  Place(Label2, 120, 270, 540, 255);

  URL = new QLineEdit(Frame1);
  Place(URL, 660, 210, 4515, 330);

  OpenIE = new QPushButton(QStringLiteral("打开浏览器"), Frame1);
  Place(OpenIE, 5280, 195, 1215, 360);
  OpenIE->setEnabled(false);

  Parser = new QPushButton(QStringLiteral("解  析"), Frame1);
  Place(Parser, 6600, 195, 1095, 360);
  Parser->setEnabled(false);

  Label1 = new QLabel(Frame1);
  Place(Label1, 120, 660, 1860, 255);

  ProgressBar1 = new QProgressBar(Frame1);
  Place(ProgressBar1, 2040, 660, 4455, 255);
  ProgressBar1->setRange(0, 100);
  ProgressBar1->setValue(0);
  ProgressBar1->setTextVisible(false);

  Command1 = new QPushButton(QStringLiteral("停  止"), Frame1);
  Place(Command1, 6600, 615, 1095, 360);
  Command1->setEnabled(false);

  Timer1 = new QTimer(this);
  Timer1->setInterval(100);

  // Above the pane's top edge: it loads the page, the grid shows the result.
  WebBrowser1 = new QWebEngineView(this);
  WebBrowser1->setPage(new ScannedPage(this, WebBrowser1));
  Place(WebBrowser1, 0, -3000, 7875, 2400);

  connect(URL, &QLineEdit::textChanged, this, &ParserPanel::ParserPanel_URL_Change);
  connect(URL, &QLineEdit::returnPressed, this, [this] { ParserPanel_URL_KeyDown(13, 0); });
  connect(Parser, &QPushButton::clicked, this, &ParserPanel::ParserPanel_Parser_Click);
  connect(Command1, &QPushButton::clicked, this, &ParserPanel::ParserPanel_Command1_Click);
  connect(OpenIE, &QPushButton::clicked, this, &ParserPanel::ParserPanel_OpenIE_Click);
  connect(Timer1, &QTimer::timeout, this, &ParserPanel::ParserPanel_Timer1_Timer);
  QWebEnginePage* page = WebBrowser1->page();
  // The blank start page is no search: until the user starts one, what the
  // browser reports of it leaves the pane idle, its status empty and its
  // bar at 0. A load that begins after a stop ends whatever the stop left
  // pending.
  connect(page, &QWebEnginePage::loadStarted, this, [this] {
    if (!started_) return;
    Notify([this] {
      busy_ = true;
      stopped_ = false;
    });
  });
  connect(page, &QWebEnginePage::loadProgress, this, [this](int progress) {
    if (!started_) return;
    Notify([this, progress] { ParserPanel_WebBrowser1_ProgressChange(progress, 100); });
  });
  connect(page, &QWebEnginePage::loadFinished, this, [this](bool) {
    if (!started_) return;
    Notify([this] {
      busy_ = false;
      if (stopped_) {
        stopped_ = false;
        return;
      }
      ParserPanel_WebBrowser1_DocumentComplete();
    });
  });

  ParserPanel_UserControl_Initialize();
}

ParserPanel::~ParserPanel() {
  // The browser answers a pending document request while its page is being
  // destroyed, after the pane's own controls are gone: such an answer must
  // find the scan over.
  scanning_ = false;
  ++scanId_;
  // The browser goes while the pane is whole: whatever its page answers on
  // the way out finds the pane, not what is left of it.
  delete WebBrowser1;
  WebBrowser1 = nullptr;
}

void ParserPanel::ParserPanel_UserControl_Initialize() {
  WebBrowser1->setUrl(QUrl(QStringLiteral("about:blank")));
}

void ParserPanel::ParserPanel_URL_Change() {
  if (URL->text().isEmpty()) return;
  Parser->setEnabled(true);
  OpenIE->setEnabled(true);
}

void ParserPanel::ParserPanel_URL_KeyDown(int KeyCode, int) {
  if (KeyCode == 13) ParserPanel_Parser_Click();
}

void ParserPanel::ParserPanel_Parser_Click() {
  if (scanning_) {
    deferred_.push_back([this] { ParserPanel_Parser_Click(); });
    return;
  }
  started_ = true;
  emit SearchStart();
  Parser->setEnabled(false);
  Timer1->start();
  Try([this] { SetBarValue(0); });
  if (!URL->text().contains(QStringLiteral("://")))
    URL->setText(QStringLiteral("http://") + URL->text());
  WebBrowser1->setUrl(QUrl(URL->text()));
  Label1->setText(QString::fromUtf8(kLoading));
  Command1->setEnabled(true);
}

void ParserPanel::ParserPanel_Command1_Click() {
  if (scanning_) {
    deferred_.push_back([this] { ParserPanel_Command1_Click(); });
    return;
  }
  // The browser reports the end of a load it was still busy with; that
  // report is the stop's, not a completed page.
  if (busy_) stopped_ = true;
  WebBrowser1->stop();
  // The base address stays the one of the page completed last.
  ScanCurrentDocument([this](const HtmlDocument& document) {
    Resources = std::make_unique<ResourceInfos>();
    ScanDocument(document);
    emit SearchEnd(Resources.get());
    Parser->setEnabled(true);
    Label1->setText(QString::fromUtf8(kFinished));
    Timer1->stop();
    Command1->setEnabled(false);
  });
}

void ParserPanel::ParserPanel_OpenIE_Click() {
  platform::OpenWithDesktop(URL->text().toStdString());
}

void ParserPanel::ParserPanel_Timer1_Timer() {
  // The bar stands still while a scan reads the document.
  if (scanning_) return;
  if (barValue_ < 90) Try([this] { SetBarValue(barValue_ + 0.1f); });
}

void ParserPanel::ParserPanel_WebBrowser1_ProgressChange(int Progress, int ProgressMax) {
  if (ProgressMax < 1) {
    SetBarMax(100);
    SetBarValue(100);
    return;
  }
  int p = Progress > ProgressMax || Progress < 0 ? 0 : Progress;
  SetBarMax(ProgressMax);
  SetBarValue(static_cast<float>(p));
}

void ParserPanel::ParserPanel_WebBrowser1_NewWindow2(bool& Cancel) { Cancel = true; }

void ParserPanel::ParserPanel_WebBrowser1_DocumentComplete() {
  if (busy_) return;
  ScanCurrentDocument([this](const HtmlDocument& document) {
    BaseHref.clear();
    if (document.bodyHtml) BaseHref = BaseHrefOf(*document.bodyHtml);
    Resources = std::make_unique<ResourceInfos>();
    ScanDocument(document);
    emit SearchEnd(Resources.get());
    Parser->setEnabled(true);
    Command1->setEnabled(false);
    Label1->setText(QString::fromUtf8(kFinished));
    SetBarMax(100);
    SetBarValue(100);
    Timer1->stop();
  });
}

void ParserPanel::ParserPanel_WebBrowser1_UpdatePageStatus() {
  if (Timer1->isActive()) Timer1->stop();
}

// ---------------------------------------------------------------------------
// Reading the document

void ParserPanel::Notify(std::function<void()> notification) {
  if (scanning_)
    deferred_.push_back(std::move(notification));
  else
    notification();
}

// The browser hands the document over on its own time, from its own
// queue, and never inside a nested wait. The scan therefore ends when the
// document arrives; until then the browser's notifications and the user's
// parse and stop are held back, and they run after the scan in their order.
void ParserPanel::ScanCurrentDocument(std::function<void(const HtmlDocument&)> scan) {
  scanning_ = true;
  const int id = ++scanId_;
  QPointer<ParserPanel> self(this);
  auto finish = [self, id, scan](const std::string& json) {
    if (!self || self->scanId_ != id || !self->scanning_) return;
    HtmlDocument document = HtmlDocument::FromJson(json);
    // The browser's callback is no place for an error to travel through;
    // the pane goes back to idle whatever the host did with SearchEnd.
    try {
      scan(document);
    } catch (const std::exception&) {
    }
    if (self) self->EndScan();
  };
  WebBrowser1->page()->runJavaScript(QString::fromLatin1(kSnapshotScript),
                                     QWebEngineScript::ApplicationWorld,
                                     [finish](const QVariant& result) { finish(result.toString().toStdString()); });
  // A browser that never answers leaves an empty document.
  QTimer::singleShot(kSnapshotWaitMs, this, [finish] { finish(""); });
}

void ParserPanel::EndScan() {
  scanning_ = false;
  while (!deferred_.empty() && !scanning_) {
    std::function<void()> next = std::move(deferred_.front());
    deferred_.erase(deferred_.begin());
    next();
  }
}

void ParserPanel::ScanDocument(const HtmlDocument& document) {
  Try([&] { ScanImages(document); });
  Try([&] { SetBarValue(50); });
  Try([&] { ScanFlash(document); });
  Try([&] { SetBarValue(75); });
  Try([&] { ScanMedia(document); });
  Try([&] { SetBarValue(100); });
}

// An element without the address attribute, or with an empty one, names no
// resource: it is passed over and the scan goes on with the next element.
void ParserPanel::ScanImages(const HtmlDocument& document) {
  for (const HtmlDocument::Element& image : document.images) {
    std::string description = image.Attribute("alt").value_or("");
    std::string a = image.Attribute("src").value_or("");
    if (RemoveBlankPrefix(a).empty()) continue;
    a = Prepare(a);
    Resources->Add(a, kPicture, description, "");
  }
}

void ParserPanel::ScanFlash(const HtmlDocument& document) {
  for (const HtmlDocument::Element& object : document.objects) {
    std::string codeBase = Lower(object.Attribute("CodeBase").value_or(""));
    std::string classId = Lower(object.Attribute("CLASSID").value_or(""));
    if (codeBase.find(kFlashDownloadDomain) == std::string::npos &&
        classId.find(kFlashClassId) == std::string::npos)
      continue;
    std::string a = object.Attribute("Movie").value_or("");
    if (RemoveBlankPrefix(a).empty()) continue;
    a = Prepare(a);
    Resources->Add(a, kFlashMovie, "", "");
  }
  for (const HtmlDocument::Element& embed : document.embeds) {
    std::string a = RemoveBlankPrefix(embed.Attribute("src").value_or(""));
    if (!OccursAfterStart(Lower(a), ".swf")) continue;
    a = ResolveUrl(a);
    Resources->Add(a, kFlashMovie, "", "");
  }
}

void ParserPanel::ScanMedia(const HtmlDocument& document) {
  static const struct {
    const char* classId;
    const char* attribute;
    int kind;
  } kPlayers[] = {
      {"22d6f312-b0f6-11d0-94ab-0080c74c7e95", "FileName", kWindowsMedia},
      {"cfcdaa03-8be4-11cf-b84b-0020afbbccfa", "Source", kRealMedia},
      {"6bf52a52-394a-11d3-b153-00c04f79faa6", "MediaURL", kWindowsMedia},
  };
  for (const HtmlDocument::Element& object : document.objects) {
    std::string c = Lower(object.Attribute("CLASSID").value_or(""));
    for (const auto& player : kPlayers) {
      if (c.find(player.classId) == std::string::npos) continue;
      std::string a = object.Attribute(player.attribute).value_or("");
      if (!RemoveBlankPrefix(a).empty()) Resources->Add(Prepare(a), player.kind, "", "");
      break;
    }
  }
  for (const HtmlDocument::Element& embed : document.embeds) {
    std::string a = RemoveBlankPrefix(embed.Attribute("src").value_or(""));
    int kind = MediaKindOf(Lower(a));
    if (kind < 0) continue;
    Resources->Add(ResolveUrl(a), kind, "", "");
  }
  for (const HtmlDocument::Element& link : document.links) {
    std::string a = RemoveBlankPrefix(link.Attribute("href").value_or(""));
    int kind = MediaKindOf(Lower(a));
    if (kind < 0) continue;
    Resources->Add(ResolveUrl(a), kind, link.innerText, "");
  }
}

std::string ParserPanel::ResolveUrl(const std::string& a) const {
  return talvora::ResolveUrl(a, URL->text().toStdString(), BaseHref);
}

std::string ParserPanel::Prepare(std::string a) const { return ResolveUrl(RemoveBlankPrefix(a)); }

// ---------------------------------------------------------------------------
// The progress bar

void ParserPanel::SetBarValue(float value) {
  if (value < ProgressBar1->minimum() || value > ProgressBar1->maximum())
    throw std::out_of_range("无效的属性值");
  barValue_ = value;
  ProgressBar1->setValue(static_cast<int>(std::nearbyint(value)));
}

void ParserPanel::SetBarMax(int max) {
  ProgressBar1->setMaximum(max);
  if (barValue_ > max) barValue_ = static_cast<float>(max);
}

}  // namespace talvora
