#include "platform/preview_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/sock_diag.h>
#include <microhttpd.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <QByteArray>
#include <QCoreApplication>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QPointer>
#include <QRandomGenerator>
#include <QString>

#include "platform/dialogs.h"
#include "platform/paths.h"
#include "platform/process.h"

namespace platform {

// The connections open now, touched only on the library's thread: when
// each last did something, whether it is being answered, and how much of
// its request's body has been read and dropped.
struct PreviewServer::Connections {
  struct State {
    int socket;
    std::chrono::steady_clock::time_point lastActive;
    bool answering;
    std::size_t dropped = 0;
  };
  std::map<MHD_Connection*, State> open;

  void Touch(MHD_Connection* connection, bool answering) {
    auto it = open.find(connection);
    if (it == open.end()) return;
    it->second.lastActive = std::chrono::steady_clock::now();
    it->second.answering = answering;
  }

  // Counts bytes of the body of the request being answered, read and
  // dropped; gives how many have been so far.
  std::size_t Drop(MHD_Connection* connection, std::size_t bytes) {
    auto it = open.find(connection);
    return it == open.end() ? 0 : (it->second.dropped += bytes);
  }

  // The request is done with: the connection waits for the next.
  void Answered(MHD_Connection* connection) {
    Touch(connection, false);
    auto it = open.find(connection);
    if (it != open.end()) it->second.dropped = 0;
  }

  // At the cap, the connection idle the longest (one waiting for a
  // request before one being answered) is closed, so that a flood of idle
  // connections never keeps a real request out. Its socket is shut down;
  // the library then closes it as it would a client's close.
  void MakeRoom() {
    if (open.size() < kMaxConnections) return;
    auto victim = open.begin();
    for (auto it = open.begin(); it != open.end(); ++it) {
      if (std::make_pair(it->second.answering, it->second.lastActive) <
          std::make_pair(victim->second.answering, victim->second.lastActive))
        victim = it;
    }
    shutdown(victim->second.socket, SHUT_RDWR);
    open.erase(victim);
  }
};

// Reaches the server's private parts for the callbacks.
struct PreviewServerCalls {
  static auto& Of(void* cls) { return *static_cast<PreviewServer*>(cls)->connections_; }
  static unsigned short Port(void* cls) { return static_cast<PreviewServer*>(cls)->port_; }
};

namespace {


std::string RandomPrefix() {
  std::string prefix;
  for (int i = 0; i < 4; ++i)
    prefix += QString::number(QRandomGenerator::system()->generate(), 16).rightJustified(8, '0').toStdString();
  return prefix;
}

// The owner of the TCP socket whose own address is `from` and whose far
// end is 127.0.0.1:port, asked of the kernel for exactly that pair in the
// family given (an IPv6 socket connected to the IPv4 address holds both as
// mapped addresses): the kernel finds the socket by its pair, without
// going through the table, so no number of other sockets makes the answer
// slow. The socket's uid, in any state (a client that has half-closed
// after its request is waiting for the reply all the same); -1 when no
// process holds such a socket. A socket no process holds any longer (one
// closed, or its remains) has no owner, whatever uid the kernel reports.
long OwnerOf(const sockaddr_in& from, unsigned short port, unsigned char family) {
  struct {
    nlmsghdr header;
    inet_diag_req_v2 request;
  } ask{};
  ask.header.nlmsg_len = sizeof ask;
  ask.header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
  ask.header.nlmsg_flags = NLM_F_REQUEST;
  ask.header.nlmsg_seq = 1;
  ask.request.sdiag_family = family;
  ask.request.sdiag_protocol = IPPROTO_TCP;
  ask.request.idiag_states = ~0U;
  inet_diag_sockid& id = ask.request.id;
  id.idiag_sport = from.sin_port;
  id.idiag_dport = htons(port);
  id.idiag_cookie[0] = id.idiag_cookie[1] = INET_DIAG_NOCOOKIE;
  // An IPv4 address stands first; an IPv6 one holds it last, mapped.
  const int at = family == AF_INET ? 0 : 3;
  if (family == AF_INET6) id.idiag_src[2] = id.idiag_dst[2] = htonl(0xffff);
  id.idiag_src[at] = from.sin_addr.s_addr;
  id.idiag_dst[at] = htonl(INADDR_LOOPBACK);

  const int diag = socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_SOCK_DIAG);
  if (diag < 0) return -1;
  sockaddr_nl kernel{};
  kernel.nl_family = AF_NETLINK;
  long owner = -1;
  alignas(nlmsghdr) char reply[8192];
  sockaddr_nl sender{};
  socklen_t senderLength = sizeof sender;
  // The kernel answers while the request is sent: the reply is there to
  // read at once, or not at all.
  ssize_t length = -1;
  if (sendto(diag, &ask, sizeof ask, 0, reinterpret_cast<sockaddr*>(&kernel), sizeof kernel) ==
      static_cast<ssize_t>(sizeof ask))
    length = recvfrom(diag, reply, sizeof reply, MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&sender), &senderLength);
  ::close(diag);
  if (length <= 0 || sender.nl_pid != 0) return -1;
  const auto* header = reinterpret_cast<const nlmsghdr*>(reply);
  size_t left = static_cast<size_t>(length);
  for (; NLMSG_OK(header, left); header = NLMSG_NEXT(header, left)) {
    if (header->nlmsg_seq != ask.header.nlmsg_seq || header->nlmsg_type != SOCK_DIAG_BY_FAMILY ||
        header->nlmsg_len < NLMSG_LENGTH(sizeof(inet_diag_msg)))
      continue;
    const auto* found = static_cast<const inet_diag_msg*>(NLMSG_DATA(header));
    // Exactly the pair asked for, and no listening socket standing in.
    const inet_diag_sockid& got = found->id;
    const bool samePair = got.idiag_sport == id.idiag_sport && got.idiag_dport == id.idiag_dport &&
                          std::memcmp(got.idiag_src, id.idiag_src, sizeof id.idiag_src) == 0 &&
                          std::memcmp(got.idiag_dst, id.idiag_dst, sizeof id.idiag_dst) == 0;
    if (found->idiag_family == family && samePair && found->idiag_state != TCP_LISTEN && found->idiag_inode != 0)
      owner = static_cast<long>(found->idiag_uid);
  }
  return owner;
}

// Whether the socket at the far end of a connection to our port belongs to
// the user running the program: the far end is the one socket whose own
// address and port are the peer's and whose remote ones are our port on
// 127.0.0.1, of either family.
bool OwnPeer(const sockaddr* addr, socklen_t length, unsigned short port) {
  if (addr->sa_family != AF_INET || length < sizeof(sockaddr_in)) return false;
  const auto& peer = *reinterpret_cast<const sockaddr_in*>(addr);
  long owner = OwnerOf(peer, port, AF_INET);
  if (owner < 0) owner = OwnerOf(peer, port, AF_INET6);
  return owner >= 0 && static_cast<uid_t>(owner) == geteuid();
}

// A path segment with its escapes decoded to the bytes they stand for,
// whatever encoding those bytes are in: they name the file on disk. A "%"
// before anything but two hex digits stands for itself.
std::string DecodeSegment(const std::string& segment) {
  std::string bytes;
  for (size_t i = 0; i < segment.size(); ++i) {
    if (segment[i] == '%' && i + 2 < segment.size() && std::isxdigit(static_cast<unsigned char>(segment[i + 1])) &&
        std::isxdigit(static_cast<unsigned char>(segment[i + 2]))) {
      bytes += static_cast<char>(std::stoi(segment.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      bytes += segment[i];
    }
  }
  return bytes;
}

// A decoded path segment that names a file or folder of its own: no empty
// segment, no "." or "..", no separator or NUL smuggled in encoded.
bool PlainSegment(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
         name.find('\0') == std::string::npos;
}

// The folder's real path, links resolved; "" when it does not exist.
std::string RealPath(const std::string& path) {
  char real[PATH_MAX];
  return ::realpath(path.c_str(), real) ? std::string(real) : std::string();
}

// The file to send: open, a regular file, and inside the site folder.
struct Found {
  int fd = -1;
  uint64_t size = 0;
  std::string contentType;
};

// Opens a file of the site folder for sending. Links are followed (a site
// may hold links inside itself), and the check is made on the descriptor
// once it is open: where the kernel says the open file lies, not where
// the path pointed a moment before, so a folder swapped for a link between
// a check and the open cannot lead out. The file is first opened only as
// a place, so that nothing but a regular file inside is ever opened for
// reading (a device is never opened).
Found OpenInside(const std::string& folder, const std::string& relative) {
  Found found;
  const std::string root = RealPath(folder);
  if (root.empty()) return found;
  const std::string inside = root == "/" ? root : root + "/";
  int place = ::open((folder + "/" + relative).c_str(), O_PATH | O_CLOEXEC);
  if (place < 0) return found;
  const std::string self = "/proc/self/fd/" + std::to_string(place);
  struct stat st {};
  char real[PATH_MAX];
  ssize_t length = 0;
  if (fstat(place, &st) == 0 && S_ISREG(st.st_mode) &&
      (length = readlink(self.c_str(), real, sizeof real)) > 0 && static_cast<size_t>(length) < sizeof real) {
    const std::string where(real, static_cast<size_t>(length));
    if (where.compare(0, inside.size(), inside) == 0) {
      found.fd = ::open(self.c_str(), O_RDONLY | O_CLOEXEC);
      if (found.fd >= 0 && fstat(found.fd, &st) == 0 && S_ISREG(st.st_mode)) {
        found.size = static_cast<uint64_t>(st.st_size);
        found.contentType = PreviewServer::ContentType(where);
      } else if (found.fd >= 0) {
        ::close(found.fd);
        found.fd = -1;
      }
    }
  }
  ::close(place);
  return found;
}

// What a request for the path is answered with. The path is the URL's
// path, percent-encoded as it came: "/prefix/name/...".
Found Resolve(const PreviewServer& server, const std::string& encodedPath) {
  std::vector<std::string> segments;
  for (size_t start = 0;;) {
    const size_t slash = encodedPath.find('/', start);
    segments.push_back(encodedPath.substr(start, slash == std::string::npos ? std::string::npos : slash - start));
    if (slash == std::string::npos) break;
    start = slash + 1;
  }
  // The empty text before the first "/", the prefix and at least one name.
  if (segments.size() < 3 || !segments.front().empty()) return {};
  const std::string folder = server.FolderOf(segments[1]);
  if (folder.empty()) return {};
  std::string relative;
  for (size_t i = 2; i < segments.size(); ++i) {
    const std::string name = DecodeSegment(segments[i]);
    if (!PlainSegment(name)) return {};
    relative += (relative.empty() ? "" : "/") + name;
  }
  return OpenInside(folder, relative);
}

// --- the library's callbacks, all on its thread ---

// The path reaches Answer as it came: the escapes are decoded there, to
// bytes, segment by segment.
size_t KeepEscapes(void*, MHD_Connection*, char* text) { return std::strlen(text); }

MHD_Result Reply(MHD_Connection* connection, unsigned status, MHD_Response* response) {
  if (!response) return MHD_NO;
  const MHD_Result queued = MHD_queue_response(connection, status, response);
  MHD_destroy_response(response);
  return queued;
}

MHD_Response* EmptyResponse() {
  return MHD_create_response_from_buffer(0, const_cast<char*>(""), MHD_RESPMEM_PERSISTENT);
}

// The block of a file read at a time, and sent.
constexpr size_t kFileBlock = 64 * 1024;

// A file being sent is its descriptor.
void* FileOf(int fd) { return reinterpret_cast<void*>(static_cast<intptr_t>(fd)); }
int FdOf(void* file) { return static_cast<int>(reinterpret_cast<intptr_t>(file)); }

// The next block of the file. A file cut short while it is sent (a site
// regenerated while its page loads) has less than its length promised:
// the short read is an error, which ends the connection at once, so the
// client learns the reply is incomplete instead of waiting for bytes that
// never come.
ssize_t ReadBlock(void* file, uint64_t position, char* buffer, size_t most) {
  ssize_t read = -1;
  do {
    read = ::pread(FdOf(file), buffer, most, static_cast<off_t>(position));
  } while (read < 0 && errno == EINTR);
  return read > 0 ? read : MHD_CONTENT_READER_END_WITH_ERROR;
}

void CloseFile(void* file) { ::close(FdOf(file)); }

MHD_Result AcceptOwn(void* cls, const sockaddr* addr, socklen_t length) {
  if (!OwnPeer(addr, length, PreviewServerCalls::Port(cls))) return MHD_NO;
  PreviewServerCalls::Of(cls).MakeRoom();
  return MHD_YES;
}

void NotifyConnection(void* cls, MHD_Connection* connection, void**, MHD_ConnectionNotificationCode code) {
  auto& connections = PreviewServerCalls::Of(cls);
  if (code == MHD_CONNECTION_NOTIFY_CLOSED) {
    connections.open.erase(connection);
    return;
  }
  const MHD_ConnectionInfo* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
  if (info) connections.open[connection] = {info->connect_fd, std::chrono::steady_clock::now(), false};
}

void Completed(void* cls, MHD_Connection* connection, void**, MHD_RequestTerminationCode) {
  PreviewServerCalls::Of(cls).Answered(connection);
}

MHD_Result Answer(void* cls, MHD_Connection* connection, const char* url, const char* method, const char*,
                  const char*, size_t* bodySize, void** request) {
  auto& connections = PreviewServerCalls::Of(cls);
  connections.Touch(connection, true);
  // Refused at once (the connection then closes, whatever body follows).
  if (std::strcmp(method, MHD_HTTP_METHOD_GET) != 0 && std::strcmp(method, MHD_HTTP_METHOD_HEAD) != 0) {
    MHD_Response* refused = EmptyResponse();
    if (refused) MHD_add_response_header(refused, MHD_HTTP_HEADER_ALLOW, "GET, HEAD");
    return Reply(connection, MHD_HTTP_METHOD_NOT_ALLOWED, refused);
  }
  // The first call comes with the headers alone; a reply given only once
  // the whole request is in lets the connection stay open for the next.
  static char headersIn;
  if (!*request) {
    *request = &headersIn;
    return MHD_YES;
  }
  // A body means nothing to a GET or HEAD: it comes in pieces, each read
  // and dropped, and the reply follows once it has all come (the library
  // sends none before). One longer than a request's headers may be is
  // answered 413 once it has come.
  if (*bodySize != 0) {
    connections.Drop(connection, *bodySize);
    *bodySize = 0;
    return MHD_YES;
  }
  if (connections.Drop(connection, 0) > PreviewServer::kConnectionMemory)
    return Reply(connection, MHD_HTTP_CONTENT_TOO_LARGE, EmptyResponse());
  const Found found = Resolve(*static_cast<PreviewServer*>(cls), url);
  if (found.fd < 0) return Reply(connection, MHD_HTTP_NOT_FOUND, EmptyResponse());
  // The library reads the file a block at a time as the socket drains,
  // and closes it when done.
  MHD_Response* file = MHD_create_response_from_callback(found.size, kFileBlock, &ReadBlock, FileOf(found.fd),
                                                         &CloseFile);
  if (!file) {
    ::close(found.fd);
    return MHD_NO;
  }
  MHD_add_response_header(file, MHD_HTTP_HEADER_CONTENT_TYPE, found.contentType.c_str());
  MHD_add_response_header(file, MHD_HTTP_HEADER_CACHE_CONTROL, "no-cache");
  return Reply(connection, MHD_HTTP_OK, file);
}

}  // namespace

PreviewServer& PreviewServer::Instance() {
  static QPointer<PreviewServer> server;
  if (!server) server = new PreviewServer(QCoreApplication::instance());
  return *server;
}

PreviewServer::PreviewServer(QObject* parent) : QObject(parent), connections_(std::make_unique<Connections>()) {}

PreviewServer::~PreviewServer() {
  if (daemon_) MHD_stop_daemon(daemon_);
}

bool PreviewServer::Listen() {
  if (!tried_) {
    tried_ = true;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    // The library's own limit stands above ours: a connection closed to
    // make room still counts there until its thread has reaped it.
    daemon_ = MHD_start_daemon(MHD_USE_AUTO_INTERNAL_THREAD, 0, &AcceptOwn, this, &Answer, this,
                               MHD_OPTION_SOCK_ADDR, &address,
                               MHD_OPTION_CONNECTION_LIMIT, static_cast<unsigned>(2 * kMaxConnections),
                               MHD_OPTION_CONNECTION_TIMEOUT, static_cast<unsigned>(kIdleSeconds),
                               MHD_OPTION_CONNECTION_MEMORY_LIMIT, kConnectionMemory,
                               MHD_OPTION_NOTIFY_CONNECTION, &NotifyConnection, this,
                               MHD_OPTION_NOTIFY_COMPLETED, &Completed, this,
                               MHD_OPTION_UNESCAPE_CALLBACK, &KeepEscapes, nullptr,
                               MHD_OPTION_END);
    const MHD_DaemonInfo* info = daemon_ ? MHD_get_daemon_info(daemon_, MHD_DAEMON_INFO_BIND_PORT) : nullptr;
    port_ = info ? info->port : 0;
  }
  return port_ != 0;
}

std::string PreviewServer::FolderOf(const std::string& prefix) const {
  std::lock_guard<std::mutex> hold(foldersLock_);
  auto site = folders_.find(prefix);
  return site == folders_.end() ? std::string() : site->second;
}

std::string PreviewServer::Address(const std::string& siteFolder, const std::string& file) {
  if (!Listen()) return std::string();
  std::string prefix;
  {
    std::lock_guard<std::mutex> hold(foldersLock_);
    auto known = prefixes_.find(siteFolder);
    if (known == prefixes_.end()) {
      const std::string made = RandomPrefix();
      folders_[made] = siteFolder;
      known = prefixes_.emplace(siteFolder, made).first;
    }
    prefix = known->second;
  }
  // Each name's bytes escaped as they are: the server decodes them back.
  std::string encoded;
  for (size_t start = 0;;) {
    const size_t slash = file.find('/', start);
    encoded += QByteArray::fromStdString(file.substr(start, slash == std::string::npos ? std::string::npos
                                                                                        : slash - start))
                   .toPercentEncoding()
                   .toStdString();
    if (slash == std::string::npos) break;
    encoded += '/';
    start = slash + 1;
  }
  return "http://127.0.0.1:" + std::to_string(port_) + "/" + prefix + "/" + encoded;
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
