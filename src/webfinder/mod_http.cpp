#include "webfinder/mod_http.h"

#include <cerrno>
#include <cstring>
#include <memory>
#include <mutex>
#include <random>
#include <stdexcept>

#include <curl/curl.h>
#include <fcntl.h>
#include <unistd.h>

#include "generator/ui_sink.h"
#include "platform/dialogs.h"
#include "platform/paths.h"
#include "platform/temp_names.h"

namespace talvora {
namespace {

// The request object escapes what a URL may not hold as it stands (blanks,
// control characters, bytes of non-ASCII text); curl wants it escaped.
std::string EscapeUrl(const std::string& url) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(url.size());
  for (unsigned char c : url) {
    if (c <= 0x20 || c >= 0x7F) {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

std::runtime_error SystemError(const std::string& path, int error) {
  return std::runtime_error(path + ": " + std::strerror(error));
}

// "2 GiB", "64 KiB", "100 B": the largest whole unit.
std::string SizeText(std::int64_t bytes) {
  const char* const units[] = {"B", "KiB", "MiB", "GiB", "TiB"};
  int unit = 0;
  while (unit < 4 && bytes >= 1024 && bytes % 1024 == 0) {
    bytes /= 1024;
    ++unit;
  }
  return std::to_string(bytes) + " " + units[unit];
}

std::runtime_error TooLarge(std::int64_t maxBytes) {
  return std::runtime_error("资源超过下载上限 " + SizeText(maxBytes));
}

// Moves from into to's name without ever replacing an entry there; false
// when the name is taken.
bool MoveWithoutReplacing(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno == EEXIST) return false;
  if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) throw SystemError(to, errno);
  // A file system without that rename: a second name for the file, which
  // cannot be made over an existing one either, then the first one goes.
  if (::link(from.c_str(), to.c_str()) != 0) {
    if (errno == EEXIST) return false;
    throw SystemError(to, errno);
  }
  ::unlink(from.c_str());
  return true;
}

// A new file beside the target that takes the body as it arrives. It is
// removed again unless it was moved into place.
class PartFile {
 public:
  explicit PartFile(const std::string& target) {
    const std::size_t sep = target.rfind(platform::kSep);
    const std::string folder = sep == std::string::npos ? "" : target.substr(0, sep + 1);
    static std::mt19937_64 random{std::random_device{}()};
    for (int attempt = 0; fd_ < 0; ++attempt) {
      path_ = folder + platform::DownloadPartName(random());
      fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
      if (fd_ < 0 && (errno != EEXIST || attempt >= 100)) {
        const int error = errno;
        path_.clear();
        throw SystemError(target, error);
      }
    }
  }
  ~PartFile() {
    if (fd_ >= 0) ::close(fd_);
    if (!path_.empty()) ::unlink(path_.c_str());
  }
  PartFile(const PartFile&) = delete;
  PartFile& operator=(const PartFile&) = delete;

  void Write(const char* data, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
      ssize_t n = ::write(fd_, data + done, size - done);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) throw std::runtime_error(std::strerror(errno));
      done += static_cast<std::size_t>(n);
    }
  }

  void Close() {
    int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) throw std::runtime_error(std::strerror(errno));
  }

  // Under target's name, never in the place of anything there; false when
  // the name is taken.
  bool MoveTo(const std::string& target) {
    if (!MoveWithoutReplacing(path_, target)) return false;
    path_.clear();
    return true;
  }

  // Under target's name, in the place of whatever entry has it: a link
  // there is replaced, not followed.
  void Replace(const std::string& target) {
    if (::rename(path_.c_str(), target.c_str()) != 0) throw SystemError(target, errno);
    path_.clear();
  }

 private:
  int fd_ = -1;
  std::string path_;
};

// Only a 2xx answer carries the resource; any other is an error page or
// no body at all. Empty when the answer is one to keep.
std::string StatusProblem(CURL* curl, const std::string& url) {
  long status = 0;
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
  if (status >= 200 && status <= 299) return "";
  return "服务器返回 HTTP " + std::to_string(status) + "，资源未下载: " + url;
}

// Where curl hands the body: into the part file, up to the limit. The body
// of an answer that is not to be kept is refused at its first byte.
struct BodySink {
  CURL* curl;
  const std::string& url;
  PartFile* file;
  std::int64_t maxBytes;
  std::int64_t received = 0;
  std::string problem;  // why the body was refused
};

size_t WriteBody(char* data, size_t size, size_t count, void* userdata) {
  auto* sink = static_cast<BodySink*>(userdata);
  const size_t n = size * count;
  if (sink->received == 0) sink->problem = StatusProblem(sink->curl, sink->url);
  if (!sink->problem.empty()) return 0;
  if (static_cast<std::int64_t>(n) > sink->maxBytes - sink->received) {
    sink->problem = TooLarge(sink->maxBytes).what();
    return 0;
  }
  try {
    sink->file->Write(data, n);
  } catch (const std::exception& e) {
    sink->problem = e.what();
    return 0;
  }
  sink->received += static_cast<std::int64_t>(n);
  return n;
}

// Every option is required: an older libcurl that does not know one (the
// protocol limits above all) must not quietly go without it.
template <typename T>
void SetOption(CURL* curl, CURLoption option, T value) {
  const CURLcode rc = curl_easy_setopt(curl, option, value);
  if (rc != CURLE_OK) throw std::runtime_error(std::string("HTTP 请求无法设置: ") + curl_easy_strerror(rc));
}

struct CurlCleanup {
  void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
  void operator()(CURLU* address) const { curl_url_cleanup(address); }
};

// GET url, the body streamed into file; an exception with the description
// of whatever failed, an answer other than 2xx included.
void Fetch(const std::string& url, PartFile& file, std::int64_t maxBytes) {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });

  // The request object opens only a full address: one without its scheme is
  // refused, where curl alone would guess "http://" and fetch from wherever
  // the text happens to point.
  std::unique_ptr<CURLU, CurlCleanup> address(curl_url());
  if (!address) throw std::runtime_error("无法创建 HTTP 请求");
  const CURLUcode parsed = curl_url_set(address.get(), CURLUPART_URL, EscapeUrl(url).c_str(), 0);
  if (parsed != CURLUE_OK) throw std::runtime_error(std::string(curl_url_strerror(parsed)) + ": " + url);
  std::unique_ptr<CURL, CurlCleanup> handle(curl_easy_init());
  if (!handle) throw std::runtime_error("无法创建 HTTP 请求");
  CURL* curl = handle.get();
  BodySink sink{curl, url, &file, maxBytes, 0, {}};
  char detail[CURL_ERROR_SIZE] = "";
  SetOption(curl, CURLOPT_ERRORBUFFER, detail);
  SetOption(curl, CURLOPT_CURLU, address.get());
  SetOption(curl, CURLOPT_HTTPGET, 1L);
  // The request object speaks HTTP only; a page must not make us read
  // local files or other protocols, not even through a redirect.
  SetOption(curl, CURLOPT_PROTOCOLS_STR, "http,https");
  SetOption(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  SetOption(curl, CURLOPT_FOLLOWLOCATION, 1L);
  SetOption(curl, CURLOPT_MAXREDIRS, 10L);
  // A body announced as longer than the limit is refused before it comes.
  SetOption(curl, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(maxBytes));
  // The request object's defaults: name resolution without a limit, 60 s to
  // connect, 30 s for each send and receive (a stalled transfer, not a
  // limit on the whole download).
  SetOption(curl, CURLOPT_CONNECTTIMEOUT, 60L);
  SetOption(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
  SetOption(curl, CURLOPT_LOW_SPEED_TIME, 30L);
  SetOption(curl, CURLOPT_NOSIGNAL, 1L);
  SetOption(curl, CURLOPT_WRITEFUNCTION, &WriteBody);
  SetOption(curl, CURLOPT_WRITEDATA, &sink);
  const CURLcode rc = curl_easy_perform(curl);
  if (rc == CURLE_OK) {
    // An answer without a body never reached the sink.
    const std::string problem = StatusProblem(curl, url);
    if (!problem.empty()) throw std::runtime_error(problem);
    return;
  }
  if (!sink.problem.empty()) throw std::runtime_error(sink.problem);
  if (rc == CURLE_FILESIZE_EXCEEDED) throw TooLarge(maxBytes);
  throw std::runtime_error(detail[0] ? detail : curl_easy_strerror(rc));
}

}  // namespace

int DownloadFile(const std::string& url, const std::string& path, const NameTaken& nameTaken,
                 std::int64_t maxBytes) {
  try {
    PartFile file(path);
    Fetch(url, file, maxBytes);
    PumpMessages();
    file.Close();
    // The names given instead are tried in turn; the same name again, or
    // more names than the numbered ones there are, ends the save.
    std::string target = path;
    for (int asked = 0; !file.MoveTo(target); ++asked) {
      const std::string next = nameTaken && asked <= 1000 ? nameTaken(target) : std::string();
      if (next.empty() || next == target) throw std::runtime_error("指定位置已有同名资源: " + target);
      target = next;
    }
    return 1;
  } catch (const std::exception& e) {
    platform::MsgBox(std::string("发生错误：") + "\r\n" + e.what(), platform::vbOKOnly);
    return 0;
  }
}

int DownloadFileQuiet(const std::string& url, const std::string& path) {
  // Each step that fails is skipped and the next one runs.
  std::unique_ptr<PartFile> file;
  bool fetched = false;
  try {
    file = std::make_unique<PartFile>(path);
    Fetch(url, *file, kMaxDownloadBytes);
    fetched = true;
  } catch (const std::exception&) {
  }
  PumpMessages();
  if (fetched) {
    try {
      file->Close();
      file->Replace(path);
      return 1;
    } catch (const std::exception&) {
    }
  }
  file.reset();
  // Without a body the target is still opened and closed: a missing file is
  // created empty, an existing one keeps its content. A link is not
  // followed, and a FIFO does not hold the start waiting for a reader.
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
  if (fd >= 0) ::close(fd);
  return 1;
}

bool IsWebAddress(const std::string& address) {
  auto startsWith = [&](const char* scheme) {
    const std::size_t n = std::strlen(scheme);
    return address.size() > n && strncasecmp(address.c_str(), scheme, n) == 0;
  };
  return startsWith("http://") || startsWith("https://");
}

}  // namespace talvora
