// The web pane: an address box, the parse and stop buttons, the loading
// progress and the browser that loads the page to be scanned. The browser
// sits above the pane's top edge, so the user never sees the page here; the
// found resources are shown by the main window's grid.
//
// Once the page is complete, or the user stops loading, the pane reads the
// page's HTML document for pictures, Flash movies, Windows Media and Real
// media files and hands them over with SearchEnd.
#pragma once
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QWidget>

#include "webfinder/resource_info.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTimer;
class QWebEngineView;

namespace talvora {

// What the scan reads of a page's HTML document, taken in one go.
struct HtmlDocument {
  struct Element {
    // Attribute names lowered. For object and applet elements this also
    // holds the hosted control's named values (their param children), for
    // the names the element itself does not carry.
    std::map<std::string, std::string> attributes;
    std::string innerText;
    // The attribute's value, whatever the case of the name; none when the
    // element has no such attribute.
    std::optional<std::string> Attribute(const std::string& name) const;
  };
  // The inner HTML of the body; none when the document has no body.
  std::optional<std::string> bodyHtml;
  std::vector<Element> images;   // img elements, document order
  std::vector<Element> objects;  // object and applet elements
  std::vector<Element> embeds;   // embed elements
  std::vector<Element> links;    // anchors and image-map areas with an address

  // The document as the snapshot script hands it over (JSON); an unreadable
  // text gives an empty document.
  static HtmlDocument FromJson(const std::string& json);
};

// The page's base address, as its body's inner HTML gives it: the href of
// the first "<base " (within the 100 characters from there), up to the next
// occurrence of the character right after "href=". "" when there is none.
std::string BaseHrefOf(const std::string& bodyHtml);

// The absolute address of a candidate address a: unchanged when it holds
// "://" after its first character; else built from the address the user
// typed (addressText) or the page's base address. Throws std::out_of_range
// for an address from the server root when addressText names no host.
std::string ResolveUrl(const std::string& a, const std::string& addressText,
                       const std::string& baseHref);

// The kind of a lowered media address by its extension, tested as
// substrings that do not stand at the very start: kWindowsMedia,
// kRealMedia, or -1 when it is neither.
int MediaKindOf(const std::string& address);

class ParserPanel : public QWidget {
  Q_OBJECT

 public:
  explicit ParserPanel(QWidget* parent = nullptr);
  ~ParserPanel() override;

  QGroupBox* Frame1;
  QLabel* Label2;          // "网址:"
  QLineEdit* URL;          // the typed address
  QPushButton* OpenIE;     // "打开浏览器"
  QPushButton* Parser;     // "解  析"
  QPushButton* Command1;   // "停  止"
  QLabel* Label1;          // status text
  QProgressBar* ProgressBar1;
  QTimer* Timer1;          // creeping progress while loading, 100 ms
  QWebEngineView* WebBrowser1;

  // The bar's value; it creeps in tenths, the bar shows the nearest whole.
  float ProgressValue() const { return barValue_; }

 signals:
  // The scan is finished; resources stays the pane's until its next scan.
  void SearchEnd(talvora::ResourceInfos* resources);
  // Loading of a typed address has begun.
  void SearchStart();

 public slots:
  void ParserPanel_URL_Change();
  // Enter (13) starts a load whatever the state of the parse button.
  void ParserPanel_URL_KeyDown(int KeyCode, int Shift);
  void ParserPanel_Parser_Click();
  void ParserPanel_Command1_Click();
  void ParserPanel_OpenIE_Click();
  void ParserPanel_Timer1_Timer();
  void ParserPanel_WebBrowser1_ProgressChange(int Progress, int ProgressMax);
  // Pop-up windows never open.
  void ParserPanel_WebBrowser1_NewWindow2(bool& Cancel);
  void ParserPanel_WebBrowser1_DocumentComplete();
  void ParserPanel_WebBrowser1_UpdatePageStatus();

 private:
  void ParserPanel_UserControl_Initialize();
  // Takes the browser's top-level document as it stands now and runs the
  // scan on it.
  void ScanCurrentDocument(std::function<void(const HtmlDocument&)> scan);
  void EndScan();
  void ScanDocument(const HtmlDocument& document);
  void ScanImages(const HtmlDocument& document);
  void ScanFlash(const HtmlDocument& document);
  void ScanMedia(const HtmlDocument& document);
  std::string ResolveUrl(const std::string& a) const;
  // An "about:blank" start removed, then resolved.
  std::string Prepare(std::string a) const;
  // Throws when the value lies outside the bar's range.
  void SetBarValue(float value);
  void SetBarMax(int max);
  // Browser notifications that arrive while a scan waits for the document
  // run after it, in their order.
  void Notify(std::function<void()> notification);

  std::string BaseHref;
  std::unique_ptr<ResourceInfos> Resources;

  float barValue_ = 0;
  // The user has started a search: the browser's reports are the pane's.
  bool started_ = false;
  bool busy_ = false;
  // The stop ended a load; the browser's report of that end is not a page
  // completed.
  bool stopped_ = false;
  bool scanning_ = false;
  int scanId_ = 0;
  std::vector<std::function<void()>> deferred_;
};

}  // namespace talvora
