#include "platform/preview_server.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QMimeDatabase>
#include <QPointer>
#include <QRandomGenerator>
#include <QStringList>
#include <QUrl>

#include "platform/dialogs.h"
#include "platform/paths.h"
#include "platform/process.h"

namespace platform {
namespace {

std::string RandomPrefix() {
  std::string prefix;
  for (int i = 0; i < 4; ++i)
    prefix += QString::number(QRandomGenerator::system()->generate(), 16).rightJustified(8, '0').toStdString();
  return prefix;
}

// The folder's real path, links resolved; "" when it does not exist.
QString RealPath(const QString& path) { return QFileInfo(path).canonicalFilePath(); }

// A decoded path segment that names a file or folder of its own: no empty
// segment, no "." or "..", no separator or NUL smuggled in encoded.
bool PlainSegment(const QString& segment) {
  return !segment.isEmpty() && segment != "." && segment != ".." && !segment.contains('/') &&
         !segment.contains(QChar(0));
}

}  // namespace

PreviewServer& PreviewServer::Instance() {
  static QPointer<PreviewServer> server;
  if (!server) server = new PreviewServer(QCoreApplication::instance());
  return *server;
}

PreviewServer::PreviewServer(QObject* parent) : QAbstractHttpServer(parent) {}

bool PreviewServer::Listen() {
  if (!tried_) {
    tried_ = true;
    port_ = listen(QHostAddress::LocalHost, 0);
  }
  return port_ != 0;
}

std::string PreviewServer::Address(const std::string& siteFolder, const std::string& file) {
  if (!Listen()) return std::string();
  auto known = prefixes_.find(siteFolder);
  if (known == prefixes_.end()) {
    std::string prefix = RandomPrefix();
    folders_[prefix] = siteFolder;
    known = prefixes_.emplace(siteFolder, prefix).first;
  }
  QStringList encoded;
  for (const QString& segment : QString::fromStdString(file).split('/'))
    encoded << QString::fromLatin1(QUrl::toPercentEncoding(segment));
  return "http://127.0.0.1:" + std::to_string(port_) + "/" + known->second + "/" +
         encoded.join('/').toStdString();
}

std::string PreviewServer::ContentType(const std::string& fileName) {
  const QString suffix = QFileInfo(QString::fromStdString(fileName)).suffix().toLower();
  // The page documents and their stylesheets must arrive as XML, or the
  // browsers show them as text instead of applying the stylesheet. No
  // charset: the documents name their own encoding (GBK).
  if (suffix == "xml" || suffix == "xsl" || suffix == "xslt") return "text/xml";
  if (suffix == "html" || suffix == "htm") return "text/html";
  if (suffix == "css") return "text/css";
  if (suffix == "js") return "text/javascript";
  const QMimeType type = QMimeDatabase().mimeTypeForFile(QString::fromStdString(fileName),
                                                         QMimeDatabase::MatchExtension);
  if (type.isValid() && !type.isDefault()) return type.name().toStdString();
  return "application/octet-stream";
}

PreviewServer::Lookup PreviewServer::Resolve(const std::string& encodedPath) const {
  QStringList segments = QString::fromStdString(encodedPath).split('/');
  // "/prefix/file...": the empty text before the first "/", the prefix
  // and at least one name.
  if (segments.size() < 3 || !segments.front().isEmpty()) return {};
  segments.removeFirst();
  auto site = folders_.find(segments.takeFirst().toStdString());
  if (site == folders_.end()) return {};
  QString path = QString::fromStdString(site->second);
  for (const QString& segment : segments) {
    const QString name = QUrl::fromPercentEncoding(segment.toUtf8());
    if (!PlainSegment(name)) return {};
    path += QChar(kSep) + name;
  }
  // Only regular files inside the site folder: a link that leads out, a
  // folder (no listings) or a device, FIFO or socket is refused.
  const QString root = RealPath(QString::fromStdString(site->second));
  const QString real = RealPath(path);
  if (root.isEmpty() || real.isEmpty() || !real.startsWith(root + QChar(kSep))) return {};
  struct stat st {};
  if (stat(real.toLocal8Bit().constData(), &st) != 0 || !S_ISREG(st.st_mode)) return {};
  return {real.toStdString(), ContentType(real.toStdString())};
}

bool PreviewServer::handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) {
  QHttpServerResponder responder = makeResponder(request, socket);
  if (request.method() != QHttpServerRequest::Method::Get) {
    responder.write(QHttpServerResponder::StatusCode::MethodNotAllowed);
    return true;
  }
  const Lookup found = Resolve(request.url().path(QUrl::FullyEncoded).toStdString());
  // Opened without following a last link and without blocking, then checked
  // once more on the open file: what was looked at is what is sent.
  int fd = found.file.empty() ? -1
                              : ::open(found.file.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
  struct stat st {};
  if (fd >= 0 && (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))) {
    ::close(fd);
    fd = -1;
  }
  auto* file = new QFile;
  if (fd < 0 || !file->open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
    if (fd >= 0) ::close(fd);
    delete file;
    responder.write(QHttpServerResponder::StatusCode::NotFound);
    return true;
  }
  // The responder owns the file from here and sends it in pieces.
  responder.write(file,
                  {{"Content-Type", QByteArray::fromStdString(found.contentType)},
                   {"Cache-Control", "no-cache"}},
                  QHttpServerResponder::StatusCode::Ok);
  return true;
}

void PreviewServer::missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) {
  makeResponder(request, socket).write(QHttpServerResponder::StatusCode::NotFound);
}

void OpenSitePreview(const std::string& siteFolder, const std::string& file) {
  const std::string address = PreviewServer::Instance().Address(siteFolder, file);
  if (address.empty()) {
    OpenWithDesktop(siteFolder + kSep + file);
    return;
  }
  if (!TryOpenWithDesktop(address))
    MsgBox("无法启动浏览器，请在浏览器中打开这个地址：\r\n" + address, vbOKOnly | vbInformation, "提示");
}

}  // namespace platform
