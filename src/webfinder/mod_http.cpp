#include "webfinder/mod_http.h"

#include <cerrno>
#include <cstring>
#include <mutex>
#include <stdexcept>

#include <curl/curl.h>
#include <fcntl.h>
#include <unistd.h>

#include "generator/ui_sink.h"
#include "platform/dialogs.h"

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

size_t AppendBody(char* data, size_t size, size_t count, void* body) {
  static_cast<std::string*>(body)->append(data, size * count);
  return size * count;
}

// GET url; the complete body, or an exception with curl's description.
std::string Fetch(const std::string& url) {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });

  // The request object opens only a full address: one without its scheme is
  // refused, where curl alone would guess "http://" and fetch from wherever
  // the text happens to point.
  CURLU* address = curl_url();
  if (!address) throw std::runtime_error("无法创建 HTTP 请求");
  const CURLUcode parsed = curl_url_set(address, CURLUPART_URL, EscapeUrl(url).c_str(), 0);
  if (parsed != CURLUE_OK) {
    curl_url_cleanup(address);
    throw std::runtime_error(std::string(curl_url_strerror(parsed)) + ": " + url);
  }
  CURL* curl = curl_easy_init();
  if (!curl) {
    curl_url_cleanup(address);
    throw std::runtime_error("无法创建 HTTP 请求");
  }
  std::string body;
  char detail[CURL_ERROR_SIZE] = "";
  curl_easy_setopt(curl, CURLOPT_CURLU, address);
  curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
  // The request object speaks HTTP only; a page must not make us read
  // local files or other protocols, not even through a redirect.
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 10L);
  // The request object's defaults: name resolution without a limit, 60 s to
  // connect, 30 s for each send and receive (a stalled transfer, not a
  // limit on the whole download).
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, 60L);
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, 30L);
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &AppendBody);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
  curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, detail);
  const CURLcode rc = curl_easy_perform(curl);
  curl_easy_cleanup(curl);
  curl_url_cleanup(address);
  if (rc != CURLE_OK) {
    throw std::runtime_error(detail[0] ? detail : curl_easy_strerror(rc));
  }
  return body;
}

class TargetFile {
 public:
  // Opens for writing from the first byte, creating the file when missing;
  // an existing file is not emptied by the opening alone.
  explicit TargetFile(const std::string& path) : fd_(::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666)) {
    if (fd_ < 0) throw std::runtime_error(path + ": " + std::strerror(errno));
  }
  ~TargetFile() {
    if (fd_ >= 0) ::close(fd_);
  }
  TargetFile(const TargetFile&) = delete;
  TargetFile& operator=(const TargetFile&) = delete;

  // The file then holds exactly the body: a longer old file is cut, or its
  // tail would stay behind the new bytes.
  void Write(const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
      ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) throw std::runtime_error(std::strerror(errno));
      done += static_cast<size_t>(n);
    }
    if (::ftruncate(fd_, static_cast<off_t>(bytes.size())) != 0) {
      throw std::runtime_error(std::strerror(errno));
    }
  }

  void Close() {
    int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) throw std::runtime_error(std::strerror(errno));
  }

 private:
  int fd_;
};

}  // namespace

int DownloadFile(const std::string& url, const std::string& path) {
  try {
    std::string body = Fetch(url);
    PumpMessages();
    TargetFile file(path);
    file.Write(body);
    file.Close();
    return 1;
  } catch (const std::exception& e) {
    platform::MsgBox(std::string("发生错误：") + "\r\n" + e.what(), platform::vbOKOnly);
    return 0;
  }
}

int DownloadFileQuiet(const std::string& url, const std::string& path) {
  // Each step that fails is skipped and the next one runs.
  bool fetched = false;
  std::string body;
  try {
    body = Fetch(url);
    fetched = true;
  } catch (const std::exception&) {
  }
  PumpMessages();
  try {
    TargetFile file(path);
    if (fetched) {
      try {
        file.Write(body);
      } catch (const std::exception&) {
      }
    }
    file.Close();
  } catch (const std::exception&) {
  }
  return 1;
}

}  // namespace talvora
