// The loopback web server that shows generated sites in the browser.
// Today's browsers apply no XSL stylesheet to a page opened from disk, so a
// site is served read-only on 127.0.0.1 instead: each site folder under a
// random path prefix of its own, made when the folder is first previewed.
// One server, on a free port, serves every site for the rest of the run.
//
// Any local program can reach a loopback port, and the address stands on
// the browser's command line for every user to see, so the server answers
// only connections of the user running the program, sends only regular
// files inside the site, and no client can make it grow or hold files a
// generation run needs: headers, buffers and connections are capped, and
// idle connections are closed.
//
// The serving runs on the HTTP library's own thread, which touches nothing
// but the files it sends and the table of site folders (under a lock);
// everything the UI sees stays on the UI thread.
#pragma once
#include <atomic>
#include <cstddef>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include <QObject>

struct MHD_Daemon;

namespace platform {

class PreviewServer : public QObject {
 public:
  // The program's one server, made on first use and owned by the
  // application object.
  static PreviewServer& Instance();
  ~PreviewServer() override;

  // The address of a file of the site folder ("index.html", or a path with
  // "/" inside the site): http://127.0.0.1:<port>/<prefix>/<file>, with
  // the name's bytes percent-encoded. Starts listening on first use; ""
  // when no port could be had.
  std::string Address(const std::string& siteFolder, const std::string& file);

  // The port listened on; 0 before the first address or when none was had.
  unsigned short Port() const { return port_; }

  // The content type a file of that name is sent with.
  static std::string ContentType(const std::string& fileName);

  // Connections served at once; at the cap the longest idle one is closed
  // to make room for a new one.
  static constexpr unsigned kMaxConnections = 32;
  // Seconds a connection may stay silent before it is closed.
  static constexpr unsigned kIdleSeconds = 30;
  // Bytes a connection may hold: the request line and headers must fit;
  // more is answered 431 and the connection closed. A GET or HEAD may
  // carry a body as long, read and dropped; a longer one is answered 413.
  static constexpr std::size_t kConnectionMemory = 64 * 1024;

  // The site folder served under the prefix; "" for an unknown prefix.
  // Safe from any thread.
  std::string FolderOf(const std::string& prefix) const;

 private:
  explicit PreviewServer(QObject* parent);
  bool Listen();

  struct Connections;
  friend struct PreviewServerCalls;

  std::unique_ptr<Connections> connections_;
  MHD_Daemon* daemon_ = nullptr;
  std::atomic<unsigned short> port_{0};
  bool tried_ = false;
  mutable std::mutex foldersLock_;
  std::map<std::string, std::string> folders_;   // prefix -> site folder
  std::map<std::string, std::string> prefixes_;  // site folder -> prefix
};

// Opens a file of a generated site in the browser through the preview
// server (the site's own path when no port could be had). When the desktop
// opener cannot be started, a message gives the address to open by hand.
void OpenSitePreview(const std::string& siteFolder, const std::string& file);

}  // namespace platform
