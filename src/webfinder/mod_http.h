// One web address fetched with a synchronous HTTP GET, its body written into
// a file as raw bytes. Both calls block the UI thread until the file is
// written; window messages run once, after the response has arrived.
#pragma once
#include <string>

namespace talvora {

// 1 when the body was written, 0 on any failure (after the message
// "发生错误：" CR LF + the error's description). The HTTP status is not
// looked at: an error page's body is saved like any other.
int DownloadFile(const std::string& url, const std::string& path);

// Never shows anything and always returns 1. When the fetch fails the target
// is still opened and closed: a missing file is created empty, an existing
// one keeps its content.
int DownloadFileQuiet(const std::string& url, const std::string& path);

}  // namespace talvora
