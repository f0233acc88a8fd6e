// One web address fetched with a synchronous HTTP GET, its body written into
// a file as raw bytes. Both calls block the UI thread until the file is
// written; window messages run once, after the response has arrived.
//
// The body never sits in memory as a whole: it streams into a part file
// beside the target, created afresh, and is moved into place once complete.
// No link at the target's name is ever written through.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

namespace talvora {

// The largest body a download takes; a longer one fails.
inline constexpr std::int64_t kMaxDownloadBytes = std::int64_t{2} << 30;

// Asked when the target's name was taken (by a file, a folder or a link)
// while the body arrived: the path to save under instead, or "" to give up.
using NameTaken = std::function<std::string(const std::string& takenPath)>;

// 1 when the body was written, 0 on any failure (after the message
// "发生错误：" CR LF + the error's description). Only a 2xx answer is the
// resource: any other status is a failure that names the status and the
// address, and nothing is written. Nothing that already exists is replaced:
// when path is taken by the time the body is complete, nameTaken gives the
// next path to try; without it the save fails.
int DownloadFile(const std::string& url, const std::string& path, const NameTaken& nameTaken = nullptr,
                 std::int64_t maxBytes = kMaxDownloadBytes);

// Never shows anything and always returns 1. A complete body of a 2xx
// answer replaces what is at path (a link there is replaced, not followed).
// When the fetch fails, or the answer is another status, the target is still
// opened and closed: a missing file is created empty, an existing one keeps
// its content.
int DownloadFileQuiet(const std::string& url, const std::string& path);

// Whether the address may be handed to a browser or the desktop's opener:
// an http or https address (the scheme in any case).
bool IsWebAddress(const std::string& address);

}  // namespace talvora
