// The small shared routines of Talvora: taking paths apart, testing for and
// counting folders, deleting and copying when a thing exists, the folder
// browser, a random value (paths, names, file system); and the routines that
// reach outside the program: starting programs, the archiver, the desktop
// opener and the status line. Paths use platform::kSep as separator.
#pragma once
#include <ctime>
#include <string>
#include <vector>

#include "platform/process.h"

namespace talvora {

// --- Names and paths (pure text, never touch the disk) ---

// The text after the last separator; the whole text when there is none.
std::string GetFileName(const std::string& path);
// The file name without its last "." and what follows; the whole file name without a ".".
std::string GetBaseName(const std::string& path);
// The text after the last "." of the whole text; the whole text when there is no ".".
std::string GetExtension(const std::string& text);
// The number of separators in a relative path; 0 for a lone separator.
int CountLevels(const std::string& relativePath);
// True when the text begins with the prefix (an empty prefix always does).
bool StartsWith(const std::string& text, const std::string& prefix);
// Removes one leading and one trailing separator, in place.
void TrimSlashes(std::string& path);
// The name without up to three leading decimal digits.
std::string StripNumberPrefix(const std::string& name);
// The path with the root cut off (the root may stand anywhere in it), or the path unchanged.
std::string RelativePath(const std::string& root, const std::string& path);
// The text up to and including the last separator; unchanged without one.
std::string ParentPrefix(const std::string& path);

// A name on disk as a page document carries it. ShownName, for the text
// shown (name, title): each control character other than TAB, LF and CR,
// U+FFFE and U+FFFF, and each byte that is not part of a UTF-8 character,
// becomes U+FFFD, so the document stays well-formed XML 1.0. LinkName, for
// a link (dir, link, zoomImage): those bytes and TAB, LF and CR are
// percent-escaped (%01, %EF%BF%BF, %D3), and so are "#", "?", "\" and a "%"
// before two hex digits, so the browser reaches the file of exactly that
// name. Both leave every other name as it is.
std::string ShownName(const std::string& name);
std::string LinkName(const std::string& name);

// The text as the content of a double-quoted script string inside an HTML
// script element: backslash, quote, line ends and "</" escaped. A text
// holding none of them comes back unchanged.
std::string ScriptString(const std::string& text);

// The site folder a run works on: a relative folder taken from the working
// folder, the path lexically normal and without trailing separators (the
// root keeps its own). Reads the working folder, nothing else.
std::string SiteFolderPath(const std::string& typed);

// Texts are UTF-8; lengths and cuts count characters, never split one.
std::size_t CharCount(const std::string& text);
std::string LeftChars(const std::string& text, std::size_t count);
std::string RightChars(const std::string& text, std::size_t count);

// --- Existence tests and counts ---

// True when a file of that path exists.
bool FileExists(const std::string& path);
// True when a folder of that path exists.
bool FolderExists(const std::string& path);
// "index.html" when the folder holds a file index.html, else "".
std::string GetIndexPage(const std::string& folder);
// True when the folder holds startxml.xsl (a site this system generated).
bool IsSiteRoot(const std::string& folder);
// True when the file begins with the three bytes "<qz"; false for a missing file.
bool HasSiteMarker(const std::string& path);
// The number of folders below the folder at every depth; 0 once cancel is
// requested. Pumps messages once per folder; throws FsoError when a folder
// cannot be listed or entered. Each real folder counts once, and a link out
// of the folder is not followed.
int CountFolders(const std::string& folder);

// --- Delete and copy when the source exists (every failure ignored) ---
// Each lets one failure through all the same: the site changed under the
// run (SiteChangedError).

// Deletes the file if it exists (not forced: a read-only file stays). A
// link at the name, dangling or not, goes as the file it stands for.
void DeleteFileIfExists(const std::string& path);
// Deletes the folder with its content if it exists (not forced).
void DeleteFolderIfExists(const std::string& path);
// Copies the file, replacing the target, if the source exists.
void CopyFileIfExists(const std::string& source, const std::string& target);
// Copies the folder with its content, replacing files, if the source exists.
void CopyFolderIfExists(const std::string& source, const std::string& target);
// Writes the text + CR LF as the whole file, in GBK with "&#N;" for what GBK
// cannot hold. Throws FsoError on failure.
void WriteTextFile(const std::string& path, const std::string& text);

// --- Other ---

// The folder browser with the prompt; the chosen folder or "" on cancel.
// The owner window is the dialog layer's business and is not used here.
std::string BrowseForFolder(void* owner, const std::string& prompt);
// Reseeds from the clock and returns a value in [0, 1).
float RandomValue();

// --- Programs, archives, the status line ---

// Starts the program with its arguments (no shell) and waits for its end.
// When it cannot be started, shows the failure in a box titled "存在错误".
// With `captureErrors` the program's standard error comes back in the
// result's `errorOutput`.
platform::ProcessResult ShellAndWait(const std::string& program,
                                     const std::vector<std::string>& args, bool captureErrors = false);
// Packs the folder's content into the archive with WinRAR, stored; waits.
platform::ProcessResult RarPack(const std::string& folder, const std::string& archive);
// Extracts the whole archive into the destination folder with WinRAR; waits.
platform::ProcessResult RarUnpack(const std::string& archive, const std::string& destination);
// The first line of what the archiver wrote to its standard error, "" when
// it wrote nothing: its own word on what went wrong.
std::string ArchiverErrorLine(const platform::ProcessResult& result);
// Why a pack that ran did not succeed, for the message that reports it:
// the exit status and the archiver's first line of error text; "" when it
// succeeded or could not be started (which ShellAndWait has shown).
std::string PackFailure(const platform::ProcessResult& result);
// The archiver command lines in their readable form, for display only.
std::string RarPackCommandLine(const std::string& folder, const std::string& archive);
std::string RarUnpackCommandLine(const std::string& archive, const std::string& destination);
// Opens a folder, file or web address on the desktop; not waited, errors silent.
void OpenInExplorer(const std::string& target);
// Replaces the status line with StatusText(message, now).
void ShowStatus(const std::string& message);
// "[ " + local date and time of `when` + " ]  " + message.
std::string StatusText(const std::string& message, std::time_t when);

}  // namespace talvora

// Quenlet, the column-site generator, keeps its own variants of the routines
// above where its sites need other rules, and a few routines of its own.
namespace quenlet {

// The folder holding template/, logo/ and subject/. Quenlet lives in a
// sub-folder of the main program's folder and shares that folder's data:
// its own folder when the data lies beside it, else the folder above.
std::string ProgramDataFolder();

// "index.htm" when the folder holds one, else "index.html" when it holds
// that, else "": either file makes a folder a finished web page.
std::string GetIndexPage(const std::string& folder);
// Drops up to three leading digits when the flag is true or the chosen
// subject is "数学"; otherwise the text stays.
std::string StripNumberPrefix(const std::string& text, bool always);
// The last component of the text before its last "/"; the text unchanged
// without a "/".
std::string GetSegmentBeforeSlash(const std::string& text);
// The first `limit` characters and "...." when the text is longer than
// limit + 1 characters; otherwise the text.
std::string TruncateText(const std::string& text, int limit);
// The progress line's form of a path: whole up to 70 characters, else its
// first half, "...." and its last 24 characters.
std::string ProgressPathText(const std::string& path);
// The zoom picture of a file: the folder's first file whose base name is
// "TN_" + the file's base name, else the file itself when it is a jpg, gif
// or bmp picture, else "".
std::string GetThumbnail(const std::string& folder, const std::string& fileName);

// Unlike the main program's, these report their failures to the caller.
// Deletes the file if it exists (not forced: a read-only file stays and throws).
void DeleteFileIfExists(const std::string& path);
// Copies the file over the target if the source exists; a failure of the
// copy itself is not reported, unless the site changed under the run (see
// above).
void CopyFileIfExists(const std::string& source, const std::string& target);
// Copies the folder with its content, replacing files, if the source exists.
void CopyFolderIfExists(const std::string& source, const std::string& target);

}  // namespace quenlet
