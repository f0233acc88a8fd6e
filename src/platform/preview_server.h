// The loopback web server that shows generated sites in the browser.
// Today's browsers apply no XSL stylesheet to a page opened from disk, so a
// site is served read-only on 127.0.0.1 instead: each site folder under a
// random path prefix of its own, made when the folder is first previewed.
// One server, on a free port, serves every site for the rest of the run; it
// lives on the UI thread and answers while the event loop runs.
#pragma once
#include <map>
#include <string>

#include <QAbstractHttpServer>

namespace platform {

class PreviewServer : public QAbstractHttpServer {
 public:
  // The program's one server, made on first use and owned by the
  // application object.
  static PreviewServer& Instance();

  // The address of a file of the site folder ("index.html", or a path with
  // "/" inside the site): http://127.0.0.1:<port>/<prefix>/<file>, with
  // the names percent-encoded. Starts listening on first use; "" when no
  // port could be had.
  std::string Address(const std::string& siteFolder, const std::string& file);

  // The port listened on; 0 before the first address or when none was had.
  quint16 Port() const { return port_; }

  // What a request for the path answers, without a socket: the file to
  // send (empty when refused) and its content type. The path is the URL's
  // path, percent-encoded as it came.
  struct Lookup {
    std::string file;
    std::string contentType;
  };
  Lookup Resolve(const std::string& encodedPath) const;

  // The content type a file of that name is sent with.
  static std::string ContentType(const std::string& fileName);

 protected:
  explicit PreviewServer(QObject* parent);
  bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override;
  void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override;

 private:
  bool Listen();

  quint16 port_ = 0;
  bool tried_ = false;
  std::map<std::string, std::string> folders_;   // prefix -> site folder
  std::map<std::string, std::string> prefixes_;  // site folder -> prefix
};

// Opens a file of a generated site in the browser through the preview
// server (the site's own path when no port could be had). When the desktop
// opener cannot be started, a message gives the address to open by hand.
void OpenSitePreview(const std::string& siteFolder, const std::string& file);

}  // namespace platform
